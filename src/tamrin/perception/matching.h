// Maximum matching in a general graph (Edmonds' blossoms), for kekulization.
// Vertices are 0..n-1; the caller may seed the matching (a greedy pass) so
// that only the few vertices left over need augmenting paths.
#pragma once

#include <span>
#include <utility>
#include <vector>

namespace Tamrin {

class QvMatching {
 public:
  static constexpr unsigned kNone = ~0u;

  explicit QvMatching(unsigned n) : n_(n), mate_(n, kNone) {}
  // Neighbours are met in the order their edges were added.
  void AddEdge(unsigned a, unsigned b) {
    edges_.push_back({a, b});
    stale_ = true;
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
  // The adjacency table of the edges added so far, rebuilt when edges came
  // since: one block for all vertices instead of a list each.
  void Index();
  std::span<const unsigned> Nbrs(unsigned v) const { return {adj_.data() + start_[v], adj_.data() + start_[v + 1]}; }

  unsigned n_;
  std::vector<std::pair<unsigned, unsigned>> edges_;
  bool stale_ = true;
  std::vector<unsigned> start_, adj_, order_, by_degree_;
  std::vector<unsigned> mate_, parent_, base_, queue_;
  std::vector<bool> used_, blossom_;
  // What the last search changed; blossom bases marked; Lca's seen stamps.
  std::vector<unsigned> touched_, marked_, seen_;
  unsigned stamp_ = 0;
};

}  // namespace Tamrin
