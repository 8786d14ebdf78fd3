#include "tamrin/perception/rings.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"

namespace Tamrin {

namespace {

// The searches below run on every record of a file: their working arrays are
// kept per thread, so that they allocate only when a larger graph comes.

// Bridges by an iterative depth-first search with low links; a bond is a ring
// bond exactly when it is not a bridge.
// One flag per bond position: bytes, which the searches read and write more
// cheaply than bits.
using BondFlags = std::vector<unsigned char>;

// Working arrays of the searches, one set per thread. A search asks for its
// set once, through a call: named in a loop, a thread-local object of a
// shared library costs a call into the dynamic linker at each use, which
// the compiler repeats rather than keep the address.
struct BridgeNode {
  unsigned order = kQvNoPos, low = 0, parent_bond = kQvNoPos, next_arc = 0;
};
struct BridgeWork {
  std::vector<BridgeNode> nodes;
  std::vector<unsigned> stack;
};
struct SystemWork {
  std::vector<char> seen;
  std::vector<unsigned> stack, atoms, bonds;
};

struct BreadthWork {
  std::vector<std::pair<const QvAtomBase*, unsigned>> queue;
  std::vector<const QvAtomBase*> seen;
};

template <class Work>
[[gnu::noinline]] Work& ThreadWork() {
  thread_local Work work;
  return work;
}

void RingBonds(const QvGraphView& g, BondFlags& ring) {
  auto& [nodes, stack] = ThreadWork<BridgeWork>();
  const unsigned n = g.NumAtoms();
  nodes.assign(n, BridgeNode{});
  stack.resize(n);  // a path of the search holds each atom once at most
  ring.assign(g.NumBonds(), false);
  unsigned counter = 0;
  for (unsigned root = 0; root < n; ++root) {
    if (nodes[root].order != kQvNoPos) continue;
    nodes[root].order = nodes[root].low = counter++;
    size_t top = 0;
    stack[top++] = root;
    while (top > 0) {
      const unsigned a = stack[top - 1];
      BridgeNode& node = nodes[a];
      const auto arcs = g.Arcs(a);
      if (node.next_arc < arcs.size()) {
        const QvGraphView::Arc arc = arcs[node.next_arc++];
        if (arc.bond == node.parent_bond) continue;
        BridgeNode& next = nodes[arc.nbr];
        if (next.order == kQvNoPos) {
          next.order = next.low = counter++;
          next.parent_bond = arc.bond;
          stack[top++] = arc.nbr;
        } else {
          node.low = std::min(node.low, next.order);
        }
        continue;
      }
      --top;
      if (node.parent_bond == kQvNoPos) continue;
      BridgeNode& up = nodes[g.Other(node.parent_bond, a)];
      up.low = std::min(up.low, node.low);
      ring[node.parent_bond] = node.low <= up.order;
    }
  }
  // Back edges were never tree edges, and every back edge closes a ring.
  for (unsigned b = 0; b < g.NumBonds(); ++b)
    if (nodes[g.BondBgn(b)].parent_bond != b && nodes[g.BondEnd(b)].parent_bond != b) ring[b] = true;
}

using Bits = std::vector<std::uint64_t>;

unsigned LowestBit(const Bits& bits) {
  for (size_t w = 0; w < bits.size(); ++w)
    if (bits[w]) return static_cast<unsigned>(w * 64 + std::countr_zero(bits[w]));
  return kQvNoPos;
}

// One ring system: the atoms and ring bonds of a connected set of ring bonds,
// with local numbers for the bit sets. Both lists lie in storage that the
// next RingSystems call of the thread reuses.
struct RingSystem {
  std::span<const unsigned> atoms;  // graph positions
  std::span<const unsigned> bonds;  // graph positions; bit i is bonds[i]
};

struct SystemList {
  std::vector<std::pair<size_t, size_t>> ends;  // where each system's atoms and bonds end
  std::vector<RingSystem> systems;
};

// The ring systems, in storage that the next call of the thread reuses.
const std::vector<RingSystem>& RingSystems(const QvGraphView& g, const BondFlags& ring) {
  auto& [seen, stack, atoms, bonds] = ThreadWork<SystemWork>();
  seen.assign(g.NumAtoms(), false);
  atoms.clear();
  bonds.clear();
  const auto in_ring = [&g, &ring](unsigned a) {
    for (const auto& arc : g.Arcs(a))
      if (ring[arc.bond]) return true;
    return false;
  };
  // Spans are made once all atoms and bonds are in.
  auto& [ends, systems] = ThreadWork<SystemList>();
  ends.clear();
  for (unsigned start = 0; start < g.NumAtoms(); ++start) {
    if (seen[start] || !in_ring(start)) continue;
    seen[start] = true;
    stack.assign(1, start);
    while (!stack.empty()) {
      const unsigned a = stack.back();
      stack.pop_back();
      atoms.push_back(a);
      for (const auto& arc : g.Arcs(a)) {
        if (!ring[arc.bond]) continue;
        if (a < arc.nbr) bonds.push_back(arc.bond);
        if (!seen[arc.nbr]) {
          seen[arc.nbr] = true;
          stack.push_back(arc.nbr);
        }
      }
    }
    ends.emplace_back(atoms.size(), bonds.size());
  }
  systems.clear();
  size_t atoms_from = 0, bonds_from = 0;
  for (const auto& [atoms_to, bonds_to] : ends) {
    systems.push_back({std::span<const unsigned>(atoms).subspan(atoms_from, atoms_to - atoms_from),
                       std::span<const unsigned>(bonds).subspan(bonds_from, bonds_to - bonds_from)});
    atoms_from = atoms_to;
    bonds_from = bonds_to;
  }
  return systems;
}

// Horton's candidates from root v: for every bond (x, y) off the breadth-first
// tree whose tree paths to v meet only at v, the cycle path(v, x) + (x, y) +
// path(y, v). Their edge sets live side by side in one pool of words.
struct Candidate {
  unsigned length;
  size_t offset;  // into the pool
};

// The working arrays of SystemRings, kept per thread: most systems are a
// few fused rings, and their search would otherwise be mostly allocation.
struct FinderWork {
  std::vector<unsigned> local_bond, dist, via, branch, queue, row_of_bit;
  std::vector<std::uint64_t> pool, reduced, chosen, row;
  std::vector<Candidate> candidates;
};

class SystemRings {
 public:
  SystemRings(const QvGraphView& g, const BondFlags& ring, const RingSystem& sys)
      : g_(g), ring_(ring), sys_(sys), words_((sys.bonds.size() + 63) / 64), w_(ThreadWork<FinderWork>()) {
    w_.local_bond.assign(g.NumBonds(), kQvNoPos);
    w_.dist.assign(g.NumAtoms(), kQvNoPos);
    w_.via.assign(g.NumAtoms(), kQvNoPos);
    w_.branch.assign(g.NumAtoms(), kQvNoPos);
    for (unsigned i = 0; i < sys.bonds.size(); ++i) w_.local_bond[sys.bonds[i]] = i;
  }

  // Candidates are made in rounds of growing length (up to 8 atoms, 16, ...)
  // so that a large fused sheet, whose basis is all small rings, never
  // materialises its long cycles, and each search stays near its root.
  // Returns the number of rings; ring r is Chosen(r).
  size_t Basis() {
    const size_t wanted = sys_.bonds.size() - sys_.atoms.size() + 1;
    // Reduced rows keep distinct lowest bits; all rows are words_ long.
    std::vector<std::uint64_t>& reduced = w_.reduced;
    std::vector<std::uint64_t>& chosen = w_.chosen;
    std::vector<std::uint64_t>& row = w_.row;
    std::vector<unsigned>& row_of_bit = w_.row_of_bit;
    std::vector<Candidate>& candidates = w_.candidates;
    reduced.clear();
    chosen.clear();
    row.assign(words_, 0);
    row_of_bit.assign(sys_.bonds.size(), kQvNoPos);
    size_t count = 0;
    const auto reduced_row = [&](unsigned r) { return reduced.data() + r * words_; };
    for (unsigned lo = 0, hi = 8; count < wanted && lo <= sys_.atoms.size(); lo = hi, hi *= 2) {
      candidates.clear();
      w_.pool.clear();
      for (const unsigned v : sys_.atoms) AddCandidates(v, lo, hi, candidates);
      std::stable_sort(candidates.begin(), candidates.end(),
                       [](const Candidate& a, const Candidate& b) { return a.length < b.length; });
      for (const Candidate& c : candidates) {
        if (count == wanted) break;
        const std::uint64_t* edges = w_.pool.data() + c.offset;
        std::copy(edges, edges + words_, row.begin());
        // Clear the lowest bit with the row that owns it until a bit no row
        // owns is left (independent) or nothing is (dependent).
        unsigned low = LowestBit(row);
        while (low != kQvNoPos && row_of_bit[low] != kQvNoPos) {
          const std::uint64_t* owner = reduced_row(row_of_bit[low]);
          for (size_t w = 0; w < words_; ++w) row[w] ^= owner[w];
          low = LowestBit(row);
        }
        if (low == kQvNoPos) continue;
        row_of_bit[low] = static_cast<unsigned>(count++);
        reduced.insert(reduced.end(), row.begin(), row.end());
        chosen.insert(chosen.end(), edges, edges + words_);
      }
    }
    return count;
  }

  // Ring r of the basis, walked into `out`.
  void ToRing(size_t r, QvRingPositions& out) const {
    const std::uint64_t* edges = w_.chosen.data() + r * words_;
    size_t size = 0;
    for (size_t w = 0; w < words_; ++w) size += static_cast<size_t>(std::popcount(edges[w]));
    out.atoms.reserve(size);
    out.bonds.reserve(size);
    unsigned first = kQvNoPos;
    for (unsigned i = 0; i < sys_.bonds.size() && first == kQvNoPos; ++i)
      if (Test(edges, i)) first = i;
    unsigned atom = g_.BondBgn(sys_.bonds[first]);
    unsigned bond = sys_.bonds[first];
    const unsigned start = atom;
    do {
      out.atoms.push_back(atom);
      out.bonds.push_back(bond);
      atom = g_.Other(bond, atom);
      bond = NextEdge(edges, atom, bond);
    } while (atom != start && bond != kQvNoPos);
  }

 private:
  static bool Test(const std::uint64_t* bits, unsigned i) { return (bits[i / 64] >> (i % 64)) & 1u; }

  unsigned NextEdge(const std::uint64_t* edges, unsigned atom, unsigned from) const {
    for (const auto& arc : g_.Arcs(atom)) {
      const unsigned local = w_.local_bond[arc.bond];
      if (arc.bond != from && local != kQvNoPos && Test(edges, local)) return arc.bond;
    }
    return kQvNoPos;
  }

  // The candidates through root v of more than `lo` and at most `hi` atoms;
  // the breadth-first search stops at the depth such cycles can reach.
  void AddCandidates(unsigned v, unsigned lo, unsigned hi, std::vector<Candidate>& out) {
    const unsigned depth = hi / 2;
    std::vector<unsigned>& queue = w_.queue;
    std::vector<unsigned>& dist = w_.dist;
    std::vector<unsigned>& via = w_.via;
    std::vector<unsigned>& branch = w_.branch;
    queue.assign(1, v);
    dist[v] = 0;
    for (size_t head = 0; head < queue.size(); ++head) {
      const unsigned a = queue[head];
      if (dist[a] == depth) continue;
      for (const auto& arc : g_.Arcs(a)) {
        if (!ring_[arc.bond] || dist[arc.nbr] != kQvNoPos) continue;
        dist[arc.nbr] = dist[a] + 1;
        via[arc.nbr] = arc.bond;
        branch[arc.nbr] = a == v ? arc.nbr : branch[a];
        queue.push_back(arc.nbr);
      }
    }
    for (const unsigned x : queue)
      for (const auto& arc : g_.Arcs(x)) {
        const unsigned y = arc.nbr, b = arc.bond;
        if (!ring_[b] || dist[y] == kQvNoPos || x > y || via[x] == b || via[y] == b) continue;
        if (x != v && y != v && branch[x] == branch[y]) continue;
        const unsigned length = dist[x] + dist[y] + 1;
        if (length <= lo || length > hi) continue;
        AddCycle(v, x, y, b, length, out);
      }
    for (const unsigned a : queue) dist[a] = via[a] = branch[a] = kQvNoPos;
  }

  void AddCycle(unsigned v, unsigned x, unsigned y, unsigned b, unsigned length, std::vector<Candidate>& out) {
    std::vector<std::uint64_t>& pool = w_.pool;
    const size_t offset = pool.size();
    pool.resize(offset + words_, 0);
    const auto flip = [&pool, offset](unsigned bit) { pool[offset + bit / 64] ^= std::uint64_t{1} << (bit % 64); };
    flip(w_.local_bond[b]);
    for (unsigned end : {x, y})
      for (unsigned a = end; a != v; a = g_.Other(w_.via[a], a)) flip(w_.local_bond[w_.via[a]]);
    out.push_back({length, offset});
  }

  const QvGraphView& g_;
  const BondFlags& ring_;
  const RingSystem& sys_;
  size_t words_;
  FinderWork& w_;
};

unsigned SmallestRingThrough(const QvAtomBase& from, const QvAtomBase& to, const QvBondBase* skip,
                             unsigned limit) {
  // Plain breadth-first search over the records: small rings are found within
  // a few shells, so no graph view is built for this one query.
  auto& [queue, seen] = ThreadWork<BreadthWork>();
  queue.assign(1, {&from, 1});
  seen.assign(1, &from);
  for (size_t head = 0; head < queue.size(); ++head) {
    const auto [atom, depth] = queue[head];
    if (depth >= limit) continue;
    for (const QvBondBase& bond : atom->GetBonds()) {
      if (&bond == skip) continue;
      const QvAtomBase* nbr = bond.GetNbr(atom);
      if (!nbr) continue;
      if (nbr == &to) return depth + 1;
      if (std::find(seen.begin(), seen.end(), nbr) != seen.end()) continue;
      seen.push_back(nbr);
      queue.emplace_back(nbr, depth + 1);
    }
  }
  return 0;
}

// The one ring of a system with as many bonds as atoms, walked as
// SystemRings::ToRing walks it: from the begin atom of its first bond.
void SimpleCycle(const QvGraphView& g, const BondFlags& ring, const RingSystem& sys, QvRingPositions& out) {
  out.atoms.reserve(sys.atoms.size());
  out.bonds.reserve(sys.bonds.size());
  unsigned bond = sys.bonds.front();
  const unsigned start = g.BondBgn(bond);
  unsigned atom = start;
  do {
    out.atoms.push_back(atom);
    out.bonds.push_back(bond);
    atom = g.Other(bond, atom);
    for (const auto& arc : g.Arcs(atom))
      if (ring[arc.bond] && arc.bond != bond) {
        bond = arc.bond;
        break;
      }
  } while (atom != start);
}

// Fills `rings`, smallest first; its rings keep their room from one
// molecule to the next.
void SmallestRings(const QvGraphView& g, const BondFlags& ring, std::vector<QvRingPositions>& rings) {
  size_t used = 0;
  const auto next = [&rings, &used]() -> QvRingPositions& {
    if (used == rings.size()) rings.emplace_back();
    QvRingPositions& r = rings[used++];
    r.atoms.clear();
    r.bonds.clear();
    return r;
  };
  for (const RingSystem& sys : RingSystems(g, ring)) {
    if (sys.bonds.size() == sys.atoms.size()) {
      SimpleCycle(g, ring, sys, next());
      continue;
    }
    SystemRings finder(g, ring, sys);
    const size_t count = finder.Basis();
    for (size_t r = 0; r < count; ++r) finder.ToRing(r, next());
  }
  rings.resize(used);
  const auto smaller = [](const QvRingPositions& a, const QvRingPositions& b) { return a.size() < b.size(); };
  if (used > 32) {
    std::stable_sort(rings.begin(), rings.end(), smaller);
    return;
  }
  // A few rings: a stable insertion sort, without the merge sort's buffer.
  for (size_t i = 1; i < used; ++i)
    for (size_t j = i; j > 0 && smaller(rings[j], rings[j - 1]); --j) std::swap(rings[j], rings[j - 1]);
}

// Passes run one after another on one molecule ask for the same ring bonds
// and rings: the answers for the last graph shape of this thread are kept.
struct KnownShape {
  bool valid = false, has_ring_bonds = false, has_rings = false;
  unsigned long long view = 0;  // the serial of the last view asked about
  QvGraphView::Shape shape;
  BondFlags ring_bonds;
  std::vector<QvRingPositions> rings;
};

KnownShape& Known(const QvGraphView& g) {
  KnownShape& known = ThreadWork<KnownShape>();
  // A view never changes: asked again about the last view, the shape is
  // the same without comparing it.
  if (!known.valid || (known.view != g.Serial() && !g.SameShape(known.shape))) {
    known.shape = g.GetShape();
    known.valid = true;
    known.has_ring_bonds = known.has_rings = false;
  }
  known.view = g.Serial();
  return known;
}

const BondFlags& KnownRingBonds(KnownShape& known, const QvGraphView& g) {
  if (!known.has_ring_bonds) {
    RingBonds(g, known.ring_bonds);
    known.has_ring_bonds = true;
  }
  return known.ring_bonds;
}

}  // namespace

void QvPerceiveRings(QvMolBase& mol) {
  if (mol.NumBonds() == 0) {
    // Atoms without bonds (a structure read without connectivity) need no graph.
    for (QvAtomBase& atom : mol.GetAtoms()) atom.SetInRing(false);
    mol.SetPerceived(QvPerceivedRings, true);
    return;
  }
  QvPerceiveRings(mol, QvGraphView(mol));
}

void QvPerceiveRings(QvMolBase& mol, const QvGraphView& g) {
  const BondFlags& ring = KnownRingBonds(Known(g), g);
  // Every atom is in the view, and every bond but those with an empty end:
  // each record's flag is written once.
  if (g.NumBonds() != mol.NumBonds())
    for (QvBondBase& bond : mol.GetBonds()) bond.SetInRing(false);
  for (unsigned b = 0; b < g.NumBonds(); ++b) g.Bond(b)->SetInRing(ring[b] != 0);
  for (unsigned a = 0; a < g.NumAtoms(); ++a) {
    bool in_ring = false;
    for (const auto& arc : g.Arcs(a)) in_ring = in_ring || ring[arc.bond];
    g.Atom(a)->SetInRing(in_ring);
  }
  mol.SetPerceived(QvPerceivedRings, true);
}

std::vector<QvRing> QvFindSSSR(const QvMolBase& mol) { return QvFindSSSR(QvGraphView(mol)); }

const std::vector<QvRingPositions>& QvFindSSSRPositions(const QvGraphView& g) {
  KnownShape& known = Known(g);
  if (!known.has_rings) {
    SmallestRings(g, KnownRingBonds(known, g), known.rings);
    known.has_rings = true;
  }
  return known.rings;
}

std::vector<QvRing> QvFindSSSR(const QvGraphView& g) {
  const std::vector<QvRingPositions>& found = QvFindSSSRPositions(g);
  std::vector<QvRing> rings(found.size());
  for (size_t r = 0; r < rings.size(); ++r) {
    for (const unsigned a : found[r].atoms) rings[r].atoms.push_back(g.Atom(a));
    for (const unsigned b : found[r].bonds) rings[r].bonds.push_back(g.Bond(b));
  }
  return rings;
}

unsigned QvSmallestRingSize(const QvBondBase& bond, unsigned limit) {
  if (!bond.GetBgn() || !bond.GetEnd() || bond.IsDeleted() || limit < 3) return 0;
  return SmallestRingThrough(*bond.GetBgn(), *bond.GetEnd(), &bond, limit);
}

unsigned QvSmallestRingSize(const QvAtomBase& atom, unsigned limit) {
  unsigned best = 0;
  for (const QvBondBase& bond : atom.GetBonds()) {
    const unsigned size = QvSmallestRingSize(bond, best ? best - 1 : limit);
    if (size) best = size;
  }
  return best;
}

}  // namespace Tamrin
