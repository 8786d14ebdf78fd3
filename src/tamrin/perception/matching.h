// Maximum matching in a general graph (Edmonds' blossoms), for kekulization.
// Vertices are 0..n-1; the caller may seed the matching (a greedy pass) so
// that only the few vertices left over need augmenting paths.
#pragma once

#include <vector>

namespace Tamrin {

class QvMatching {
 public:
  static constexpr unsigned kNone = ~0u;

  explicit QvMatching(unsigned n) : adj_(n), mate_(n, kNone) {}
  void AddEdge(unsigned a, unsigned b) {
    adj_[a].push_back(b);
    adj_[b].push_back(a);
  }
  // Matches every pair of unmatched neighbours met in vertex order, lowest
  // degree first, which settles chains and most rings without search.
  void Greedy();
  // Tries to match `root` by an augmenting path; true on success. O(V + E)
  // per call apart from blossom contraction (O(V) each).
  bool Augment(unsigned root);
  unsigned Mate(unsigned v) const { return mate_[v]; }

 private:
  unsigned Lca(unsigned a, unsigned b);
  void MarkPath(unsigned v, unsigned b, unsigned child);
  unsigned FindPath(unsigned root);

  std::vector<std::vector<unsigned>> adj_;
  std::vector<unsigned> mate_, parent_, base_, queue_;
  std::vector<bool> used_, blossom_;
  // What the last search changed; blossom bases marked; Lca's seen stamps.
  std::vector<unsigned> touched_, marked_, seen_;
  unsigned stamp_ = 0;
};

}  // namespace Tamrin
