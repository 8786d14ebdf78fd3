#include "tamrin/perception/matching.h"

#include <algorithm>
#include <numeric>

namespace Tamrin {

void QvMatching::Greedy() {
  std::vector<unsigned> order(adj_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [this](unsigned a, unsigned b) { return adj_[a].size() < adj_[b].size(); });
  for (const unsigned v : order) {
    if (mate_[v] != kNone) continue;
    for (const unsigned w : adj_[v]) {
      if (mate_[w] != kNone) continue;
      mate_[v] = w;
      mate_[w] = v;
      break;
    }
  }
}

unsigned QvMatching::Lca(unsigned a, unsigned b) {
  std::vector<bool> seen(adj_.size(), false);
  for (;;) {
    a = base_[a];
    seen[a] = true;
    if (mate_[a] == kNone) break;
    a = parent_[mate_[a]];
  }
  for (;;) {
    b = base_[b];
    if (seen[b]) return b;
    b = parent_[mate_[b]];
  }
}

void QvMatching::MarkPath(unsigned v, unsigned b, unsigned child) {
  while (base_[v] != b) {
    blossom_[base_[v]] = blossom_[base_[mate_[v]]] = true;
    parent_[v] = child;
    child = mate_[v];
    v = parent_[mate_[v]];
  }
}

unsigned QvMatching::FindPath(unsigned root) {
  const unsigned n = static_cast<unsigned>(adj_.size());
  used_.assign(n, false);
  parent_.assign(n, kNone);
  base_.resize(n);
  std::iota(base_.begin(), base_.end(), 0u);
  queue_.assign(1, root);
  used_[root] = true;
  for (size_t head = 0; head < queue_.size(); ++head) {
    const unsigned v = queue_[head];
    for (const unsigned to : adj_[v]) {
      if (base_[v] == base_[to] || mate_[v] == to) continue;
      if (to == root || (mate_[to] != kNone && parent_[mate_[to]] != kNone)) {
        // An odd cycle: contract the blossom to its base.
        const unsigned b = Lca(v, to);
        blossom_.assign(n, false);
        MarkPath(v, b, to);
        MarkPath(to, b, v);
        for (unsigned i = 0; i < n; ++i) {
          if (!blossom_[base_[i]]) continue;
          base_[i] = b;
          if (!used_[i]) {
            used_[i] = true;
            queue_.push_back(i);
          }
        }
      } else if (parent_[to] == kNone) {
        parent_[to] = v;
        if (mate_[to] == kNone) return to;
        used_[mate_[to]] = true;
        queue_.push_back(mate_[to]);
      }
    }
  }
  return kNone;
}

bool QvMatching::Augment(unsigned root) {
  if (mate_[root] != kNone) return true;
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
