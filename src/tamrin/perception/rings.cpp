#include "tamrin/perception/rings.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"

namespace Tamrin {

namespace {

// The searches below run on every record of a file: their working arrays are
// kept per thread, so that they allocate only when a larger graph comes.

// Bridges by an iterative depth-first search with low links; a bond is a ring
// bond exactly when it is not a bridge.
std::vector<bool> RingBonds(const QvGraphView& g) {
  thread_local std::vector<unsigned> order, low, parent_bond, next_arc, stack;
  const unsigned n = g.NumAtoms();
  order.assign(n, kQvNoPos);
  low.assign(n, 0);
  parent_bond.assign(n, kQvNoPos);
  next_arc.assign(n, 0);
  std::vector<bool> ring(g.NumBonds(), false);
  stack.clear();
  unsigned counter = 0;
  for (unsigned root = 0; root < n; ++root) {
    if (order[root] != kQvNoPos) continue;
    order[root] = low[root] = counter++;
    stack.push_back(root);
    while (!stack.empty()) {
      const unsigned a = stack.back();
      const auto arcs = g.Arcs(a);
      if (next_arc[a] < arcs.size()) {
        const QvGraphView::Arc arc = arcs[next_arc[a]++];
        if (arc.bond == parent_bond[a]) continue;
        if (order[arc.nbr] == kQvNoPos) {
          order[arc.nbr] = low[arc.nbr] = counter++;
          parent_bond[arc.nbr] = arc.bond;
          stack.push_back(arc.nbr);
        } else {
          low[a] = std::min(low[a], order[arc.nbr]);
        }
        continue;
      }
      stack.pop_back();
      if (parent_bond[a] == kQvNoPos) continue;
      const unsigned up = g.Other(parent_bond[a], a);
      low[up] = std::min(low[up], low[a]);
      ring[parent_bond[a]] = low[a] <= order[up];
    }
  }
  // Back edges were never tree edges, and every back edge closes a ring.
  for (unsigned b = 0; b < g.NumBonds(); ++b) {
    const unsigned x = g.BondBgn(b), y = g.BondEnd(b);
    if (parent_bond[x] != b && parent_bond[y] != b) ring[b] = true;
  }
  return ring;
}

using Bits = std::vector<std::uint64_t>;

bool Test(const Bits& bits, unsigned i) { return (bits[i / 64] >> (i % 64)) & 1u; }
void Xor(Bits& into, const Bits& from) {
  for (size_t w = 0; w < into.size(); ++w) into[w] ^= from[w];
}
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

std::vector<RingSystem> RingSystems(const QvGraphView& g, const std::vector<bool>& ring) {
  thread_local std::vector<char> seen;
  thread_local std::vector<unsigned> stack, atoms, bonds;
  seen.assign(g.NumAtoms(), false);
  atoms.clear();
  bonds.clear();
  const auto in_ring = [&g, &ring](unsigned a) {
    for (const auto& arc : g.Arcs(a))
      if (ring[arc.bond]) return true;
    return false;
  };
  // Where each system's atoms and bonds end; spans are made once all are in.
  std::vector<std::pair<size_t, size_t>> ends;
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
  std::vector<RingSystem> systems;
  systems.reserve(ends.size());
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

class SystemRings {
 public:
  SystemRings(const QvGraphView& g, const std::vector<bool>& ring, const RingSystem& sys)
      : g_(g), ring_(ring), sys_(sys), words_((sys.bonds.size() + 63) / 64), local_bond_(g.NumBonds(), kQvNoPos),
        dist_(g.NumAtoms(), kQvNoPos), via_(g.NumAtoms(), kQvNoPos), branch_(g.NumAtoms(), kQvNoPos) {
    for (unsigned i = 0; i < sys.bonds.size(); ++i) local_bond_[sys.bonds[i]] = i;
  }

  // Candidates are made in rounds of growing length (up to 8 atoms, 16, ...)
  // so that a large fused sheet, whose basis is all small rings, never
  // materialises its long cycles, and each search stays near its root.
  std::vector<Bits> Basis() {
    const size_t wanted = sys_.bonds.size() - sys_.atoms.size() + 1;
    std::vector<Bits> chosen, reduced;  // reduced rows keep distinct lowest bits
    std::vector<unsigned> row_of_bit(sys_.bonds.size(), kQvNoPos);
    std::vector<Candidate> candidates;
    Bits row(words_);
    for (unsigned lo = 0, hi = 8; chosen.size() < wanted && lo <= sys_.atoms.size(); lo = hi, hi *= 2) {
      candidates.clear();
      pool_.clear();
      for (const unsigned v : sys_.atoms) AddCandidates(v, lo, hi, candidates);
      std::stable_sort(candidates.begin(), candidates.end(),
                       [](const Candidate& a, const Candidate& b) { return a.length < b.length; });
      for (const Candidate& c : candidates) {
        if (chosen.size() == wanted) break;
        const auto edges = pool_.begin() + static_cast<std::ptrdiff_t>(c.offset);
        std::copy(edges, edges + static_cast<std::ptrdiff_t>(words_), row.begin());
        // Clear the lowest bit with the row that owns it until a bit no row
        // owns is left (independent) or nothing is (dependent).
        unsigned low = LowestBit(row);
        while (low != kQvNoPos && row_of_bit[low] != kQvNoPos) {
          Xor(row, reduced[row_of_bit[low]]);
          low = LowestBit(row);
        }
        if (low == kQvNoPos) continue;
        row_of_bit[low] = static_cast<unsigned>(reduced.size());
        reduced.push_back(row);
        chosen.emplace_back(edges, edges + static_cast<std::ptrdiff_t>(words_));
      }
    }
    return chosen;
  }

  QvRingPositions ToRing(const Bits& edges) const {
    QvRingPositions out;
    size_t size = 0;
    for (const std::uint64_t word : edges) size += static_cast<size_t>(std::popcount(word));
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
    return out;
  }

 private:
  unsigned NextEdge(const Bits& edges, unsigned atom, unsigned from) const {
    for (const auto& arc : g_.Arcs(atom)) {
      const unsigned local = local_bond_[arc.bond];
      if (arc.bond != from && local != kQvNoPos && Test(edges, local)) return arc.bond;
    }
    return kQvNoPos;
  }

  // The candidates through root v of more than `lo` and at most `hi` atoms;
  // the breadth-first search stops at the depth such cycles can reach.
  void AddCandidates(unsigned v, unsigned lo, unsigned hi, std::vector<Candidate>& out) {
    const unsigned depth = hi / 2;
    std::vector<unsigned>& queue = queue_;
    queue.assign(1, v);
    dist_[v] = 0;
    for (size_t head = 0; head < queue.size(); ++head) {
      const unsigned a = queue[head];
      if (dist_[a] == depth) continue;
      for (const auto& arc : g_.Arcs(a)) {
        if (!ring_[arc.bond] || dist_[arc.nbr] != kQvNoPos) continue;
        dist_[arc.nbr] = dist_[a] + 1;
        via_[arc.nbr] = arc.bond;
        branch_[arc.nbr] = a == v ? arc.nbr : branch_[a];
        queue.push_back(arc.nbr);
      }
    }
    for (const unsigned x : queue)
      for (const auto& arc : g_.Arcs(x)) {
        const unsigned y = arc.nbr, b = arc.bond;
        if (!ring_[b] || dist_[y] == kQvNoPos || x > y || via_[x] == b || via_[y] == b) continue;
        if (x != v && y != v && branch_[x] == branch_[y]) continue;
        const unsigned length = dist_[x] + dist_[y] + 1;
        if (length <= lo || length > hi) continue;
        AddCycle(v, x, y, b, length, out);
      }
    for (const unsigned a : queue) dist_[a] = via_[a] = branch_[a] = kQvNoPos;
  }

  void AddCycle(unsigned v, unsigned x, unsigned y, unsigned b, unsigned length, std::vector<Candidate>& out) {
    const size_t offset = pool_.size();
    pool_.resize(offset + words_, 0);
    const auto flip = [this, offset](unsigned bit) { pool_[offset + bit / 64] ^= std::uint64_t{1} << (bit % 64); };
    flip(local_bond_[b]);
    for (unsigned end : {x, y})
      for (unsigned a = end; a != v; a = g_.Other(via_[a], a)) flip(local_bond_[via_[a]]);
    out.push_back({length, offset});
  }

  const QvGraphView& g_;
  const std::vector<bool>& ring_;
  const RingSystem& sys_;
  size_t words_;
  Bits pool_;
  std::vector<unsigned> local_bond_;
  std::vector<unsigned> dist_, via_, branch_, queue_;
};

unsigned SmallestRingThrough(const QvAtomBase& from, const QvAtomBase& to, const QvBondBase* skip,
                             unsigned limit) {
  // Plain breadth-first search over the records: small rings are found within
  // a few shells, so no graph view is built for this one query.
  thread_local std::vector<std::pair<const QvAtomBase*, unsigned>> queue;
  thread_local std::vector<const QvAtomBase*> seen;
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
QvRingPositions SimpleCycle(const QvGraphView& g, const std::vector<bool>& ring, const RingSystem& sys) {
  QvRingPositions out;
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
  return out;
}

std::vector<QvRingPositions> SmallestRings(const QvGraphView& g, const std::vector<bool>& ring) {
  std::vector<QvRingPositions> rings;
  for (const RingSystem& sys : RingSystems(g, ring)) {
    if (sys.bonds.size() == sys.atoms.size()) {
      rings.push_back(SimpleCycle(g, ring, sys));
      continue;
    }
    SystemRings finder(g, ring, sys);
    for (const Bits& edges : finder.Basis()) rings.push_back(finder.ToRing(edges));
  }
  std::stable_sort(rings.begin(), rings.end(), [](const QvRingPositions& a, const QvRingPositions& b) {
    return a.atoms.size() < b.atoms.size();
  });
  return rings;
}

// Passes run one after another on one molecule ask for the same ring bonds
// and rings: the answers for the last graph shape of this thread are kept.
struct KnownShape {
  bool valid = false;
  QvGraphView::Shape shape;
  std::optional<std::vector<bool>> ring_bonds;
  std::optional<std::vector<QvRingPositions>> rings;
};

KnownShape& Known(const QvGraphView& g) {
  thread_local KnownShape known;
  if (!known.valid || !g.SameShape(known.shape)) {
    known.shape = g.GetShape();
    known.valid = true;
    known.ring_bonds.reset();
    known.rings.reset();
  }
  return known;
}

const std::vector<bool>& KnownRingBonds(KnownShape& known, const QvGraphView& g) {
  if (!known.ring_bonds) known.ring_bonds = RingBonds(g);
  return *known.ring_bonds;
}

}  // namespace

void QvPerceiveRings(QvMolBase& mol) {
  if (mol.NumBonds() == 0) {
    // Atoms without bonds (a structure read without connectivity) need no graph.
    for (QvAtomBase& atom : mol.GetAtoms()) atom.SetInRing(false);
    mol.SetPerceived(QvPerceivedRings, true);
    return;
  }
  const QvGraphView g(mol);
  const std::vector<bool>& ring = KnownRingBonds(Known(g), g);
  for (QvAtomBase& atom : mol.GetAtoms()) atom.SetInRing(false);
  for (QvBondBase& bond : mol.GetBonds()) bond.SetInRing(false);
  for (unsigned b = 0; b < g.NumBonds(); ++b) {
    if (!ring[b]) continue;
    g.Bond(b)->SetInRing(true);
    g.Atom(g.BondBgn(b))->SetInRing(true);
    g.Atom(g.BondEnd(b))->SetInRing(true);
  }
  mol.SetPerceived(QvPerceivedRings, true);
}

std::vector<QvRing> QvFindSSSR(const QvMolBase& mol) { return QvFindSSSR(QvGraphView(mol)); }

const std::vector<QvRingPositions>& QvFindSSSRPositions(const QvGraphView& g) {
  KnownShape& known = Known(g);
  if (!known.rings) known.rings = SmallestRings(g, KnownRingBonds(known, g));
  return *known.rings;
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
