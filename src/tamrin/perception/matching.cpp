#include "tamrin/perception/matching.h"

#include <algorithm>
#include <numeric>

namespace Tamrin {

void QvMatching::Index() {
  if (!stale_) return;
  stale_ = false;
  start_.assign(n_ + 2, 0);
  for (const auto& [a, b] : edges_) {
    ++start_[a + 2];
    ++start_[b + 2];
  }
  std::partial_sum(start_.begin(), start_.end(), start_.begin());
  // start_[v + 1] runs as the fill point of v and ends as its end.
  adj_.resize(2 * edges_.size());
  for (const auto& [a, b] : edges_) {
    adj_[start_[a + 1]++] = b;
    adj_[start_[b + 1]++] = a;
  }
}

void QvMatching::Greedy() {
  Index();
  // Fewest neighbours first, ties in vertex order. Degrees are small, so a
  // counting sort: the passes call this for every tier on whole proteins.
  unsigned max_degree = 0;
  for (unsigned v = 0; v < n_; ++v) max_degree = std::max(max_degree, start_[v + 1] - start_[v]);
  std::vector<unsigned>& first = by_degree_;
  first.assign(max_degree + 2, 0);
  for (unsigned v = 0; v < n_; ++v) ++first[start_[v + 1] - start_[v] + 1];
  std::partial_sum(first.begin(), first.end(), first.begin());
  // Vertices without an edge come first and have nothing to match.
  const unsigned isolated = first[1];
  order_.resize(n_);
  for (unsigned v = 0; v < n_; ++v)
    if (start_[v + 1] > start_[v]) order_[first[start_[v + 1] - start_[v]]++] = v;
  for (unsigned k = isolated; k < n_; ++k) {
    const unsigned v = order_[k];
    if (mate_[v] != kNone) continue;
    for (const unsigned w : Nbrs(v)) {
      if (mate_[w] != kNone) continue;
      mate_[v] = w;
      mate_[w] = v;
      break;
    }
  }
}

unsigned QvMatching::Lca(unsigned a, unsigned b) {
  // A new stamp marks a fresh "seen" set without clearing one.
  if (++stamp_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0u);
    stamp_ = 1;
  }
  for (;;) {
    a = base_[a];
    seen_[a] = stamp_;
    if (mate_[a] == kNone) break;
    a = parent_[mate_[a]];
  }
  for (;;) {
    b = base_[b];
    if (seen_[b] == stamp_) return b;
    b = parent_[mate_[b]];
  }
}

void QvMatching::MarkPath(unsigned v, unsigned b, unsigned child) {
  while (base_[v] != b) {
    for (const unsigned w : {base_[v], base_[mate_[v]]}) {
      if (!blossom_[w]) marked_.push_back(w);
      blossom_[w] = true;
    }
    parent_[v] = child;
    child = mate_[v];
    v = parent_[mate_[v]];
  }
}

// The search state lives across calls and only what the last search touched
// is put back (Augment still walks parent_ after FindPath returns), so a
// search costs what it visits: a protein leaves thousands of atoms to try,
// and clearing arrays of the whole molecule for each made the pass quadratic.
unsigned QvMatching::FindPath(unsigned root) {
  Index();
  const unsigned n = n_;
  if (parent_.size() != n) {
    used_.assign(n, false);
    blossom_.assign(n, false);
    parent_.assign(n, kNone);
    base_.resize(n);
    std::iota(base_.begin(), base_.end(), 0u);
    seen_.assign(n, 0u);
  }
  for (const unsigned v : touched_) {
    used_[v] = false;
    parent_[v] = kNone;
    base_[v] = v;
  }
  touched_.clear();
  queue_.assign(1, root);
  used_[root] = true;
  touched_.push_back(root);
  for (size_t head = 0; head < queue_.size(); ++head) {
    const unsigned v = queue_[head];
    for (const unsigned to : Nbrs(v)) {
      if (base_[v] == base_[to] || mate_[v] == to) continue;
      if (to == root || (mate_[to] != kNone && parent_[mate_[to]] != kNone)) {
        // An odd cycle: contract the blossom to its base.
        const unsigned b = Lca(v, to);
        MarkPath(v, b, to);
        MarkPath(to, b, v);
        // Only vertices of the search tree can lie in the blossom.
        for (std::size_t k = 0, end = touched_.size(); k < end; ++k) {
          const unsigned i = touched_[k];
          if (!blossom_[base_[i]]) continue;
          base_[i] = b;
          if (!used_[i]) {
            used_[i] = true;
            queue_.push_back(i);
          }
        }
        for (const unsigned w : marked_) blossom_[w] = false;
        marked_.clear();
      } else if (parent_[to] == kNone) {
        parent_[to] = v;
        touched_.push_back(to);
        if (mate_[to] == kNone) return to;
        used_[mate_[to]] = true;
        touched_.push_back(mate_[to]);
        queue_.push_back(mate_[to]);
      }
    }
  }
  return kNone;
}

bool QvMatching::Augment(unsigned root) {
  if (mate_[root] != kNone) return true;
  // The passes try every unit left over, most of them without an edge.
  Index();
  if (start_[root] == start_[root + 1]) return false;
  unsigned v = FindPath(root);
  if (v == kNone) return false;
  while (v != kNone) {
    const unsigned pv = parent_[v];
    const unsigned ppv = mate_[pv];
    mate_[v] = pv;
    mate_[pv] = v;
    v = ppv;
  }
  return true;
}

}  // namespace Tamrin
