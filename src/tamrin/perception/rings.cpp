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

// One flag per bond position: bytes, which the searches read and write more
// cheaply than bits.
using BondFlags = std::vector<unsigned char>;

// A ring system (connected set of ring bonds) as the bridge search sees it:
// its lowest atom position, its size and its number of independent rings.
struct SystemSummary {
  unsigned lowest, atoms, cycles;
};

// What the bridge search finds: ring bonds, ring atoms and ring systems,
// the systems in the order of their lowest atoms.
struct RingMembership {
  BondFlags bonds, atoms;
  std::vector<SystemSummary> systems;
};

// Working arrays of the searches, one set per thread. A search asks for its
// set once, through a call: named in a loop, a thread-local object of a
// shared library costs a call into the dynamic linker at each use, which
// the compiler repeats rather than keep the address.
struct BridgeWork {
  // By atom position; `order` is the only one read before it is written.
  std::vector<unsigned> order, low, parent_bond, next_arc, back_edges;
  std::vector<unsigned> path, open;  // the search path; atoms not yet in a system
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

// The first `n` entries of `v`, which only ever grows: what they hold is
// left to the caller.
unsigned* Room(std::vector<unsigned>& v, std::size_t n) {
  if (v.size() < n) v.resize(n);
  return v.data();
}

// Components close in the order the search leaves them: a few systems,
// kept sorted by their lowest atoms as they come.
void AddSystem(const SystemSummary& system, std::vector<SystemSummary>& systems) {
  systems.push_back(system);
  for (std::size_t k = systems.size() - 1; k > 0 && systems[k].lowest < systems[k - 1].lowest; --k)
    std::swap(systems[k], systems[k - 1]);
}

// Bridges by an iterative depth-first search with low links; a bond is a ring
// bond exactly when it is not a bridge. A back edge closes a ring (its
// ring flag is set when it is seen) and a tree edge is a ring bond when the
// subtree below it reaches above it. The atoms still open on a second stack
// fall into 2-edge-connected components: the ring systems, each with as many
// independent rings as back edges.
void FindRingMembership(const QvGraphView& g, RingMembership& out) {
  BridgeWork& w = ThreadWork<BridgeWork>();
  const unsigned n = g.NumAtoms();
  const QvGraphView::Shape& shape = g.GetShape();
  out.bonds.resize(g.NumBonds());
  out.atoms.resize(n);
  out.systems.clear();
  // Plain pointers that alias nothing: stores of flag bytes would otherwise
  // make the compiler read every array's address again.
  const unsigned* __restrict start = shape.start.data();
  const QvGraphView::Arc* __restrict arcs = shape.arcs.data();
  const unsigned* __restrict ends = shape.ends.data();
  unsigned* __restrict order = Room(w.order, n);
  unsigned* __restrict low = Room(w.low, n);
  unsigned* __restrict parent_bond = Room(w.parent_bond, n);
  unsigned* __restrict next_arc = Room(w.next_arc, n);
  unsigned* __restrict back_edges = Room(w.back_edges, n);
  unsigned* __restrict path = Room(w.path, n);
  unsigned* __restrict open = Room(w.open, n);
  unsigned char* __restrict ring = out.bonds.data();
  // Filled rather than set with memset, which must not meet the null
  // storage of a molecule without atoms or bonds.
  std::fill_n(order, n, kQvNoPos);
  std::fill_n(ring, out.bonds.size(), 0);
  std::fill_n(out.atoms.data(), n, 0);
  unsigned counter = 0;
  std::size_t open_top = 0;
  for (unsigned root = 0; root < n; ++root) {
    if (order[root] != kQvNoPos) continue;
    order[root] = low[root] = counter++;
    parent_bond[root] = kQvNoPos;
    next_arc[root] = start[root];
    back_edges[root] = 0;
    open[open_top++] = root;
    std::size_t top = 0;
    path[top++] = root;
    while (top > 0) {
      const unsigned a = path[top - 1];
      if (next_arc[a] < start[a + 1]) {
        const QvGraphView::Arc arc = arcs[next_arc[a]++];
        if (arc.bond == parent_bond[a]) continue;
        const unsigned nbr = arc.nbr;
        if (order[nbr] == kQvNoPos) {
          order[nbr] = low[nbr] = counter++;
          parent_bond[nbr] = arc.bond;
          next_arc[nbr] = start[nbr];
          back_edges[nbr] = 0;
          open[open_top++] = nbr;
          path[top++] = nbr;
        } else if (order[nbr] < order[a]) {
          // A back edge up the path (seen again from above, it is skipped).
          low[a] = std::min(low[a], order[nbr]);
          ring[arc.bond] = 1;
          ++back_edges[a];
        }
        continue;
      }
      --top;
      const unsigned via = parent_bond[a];
      if (via != kQvNoPos) {
        const unsigned up = ends[2 * via] == a ? ends[2 * via + 1] : ends[2 * via];
        low[up] = std::min(low[up], low[a]);
        if (low[a] <= order[up]) {
          ring[via] = 1;
          continue;
        }
      }
      // `a` heads a component; one atom alone (a chain atom) is the most
      // frequent and no system.
      if (open[open_top - 1] == a) {
        --open_top;
        continue;
      }
      unsigned lowest = a, atoms = 0, cycles = 0;
      for (unsigned member = kQvNoPos; member != a; ++atoms) {
        member = open[--open_top];
        lowest = std::min(lowest, member);
        cycles += back_edges[member];
        out.atoms[member] = 1;
      }
      AddSystem({lowest, atoms, cycles}, out.systems);
    }
  }
}

using Bits = std::vector<std::uint64_t>;

unsigned LowestBit(const Bits& bits) {
  for (size_t w = 0; w < bits.size(); ++w)
    if (bits[w]) return static_cast<unsigned>(w * 64 + std::countr_zero(bits[w]));
  return kQvNoPos;
}

// One ring system: its atoms in the order of a depth-first walk from its
// lowest atom, and its ring bonds where that walk meets each from its lower
// end; the bit sets number the bonds in this order. Both lists lie in
// storage that the next CollectSystem call of the thread reuses.
struct RingSystem {
  std::span<const unsigned> atoms;  // graph positions
  std::span<const unsigned> bonds;  // graph positions; bit i is bonds[i]
};

RingSystem CollectSystem(const QvGraphView& g, const BondFlags& ring, unsigned lowest) {
  auto& [seen, stack, atoms, bonds] = ThreadWork<SystemWork>();
  seen.assign(g.NumAtoms(), false);
  atoms.clear();
  bonds.clear();
  seen[lowest] = true;
  stack.assign(1, lowest);
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
  return {atoms, bonds};
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
  std::vector<std::uint64_t> pool, reduced, chosen, row, walks, cycles;
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

  // The basis of a system of two independent rings as Basis() chooses it,
  // without its search. Such a system is two atoms of three ring bonds
  // joined by three paths (fused and bridged bicycles), whose rings are the
  // unions of two paths, or one atom of four ring bonds on two rings
  // (spiro). The shortest ring is taken, then the shortest other; of rings
  // of one length, the one whose candidate the search meets first, which
  // the candidates of the roots in turn tell (nearly always the first
  // root's). False, for Basis() to answer, should no candidate match.
  bool TwoRings() {
    unsigned branch[2] = {kQvNoPos, kQvNoPos}, branches = 0, excess = 0;
    for (const unsigned a : sys_.atoms) {
      const unsigned degree = RingDegree(a);
      if (degree == 2) continue;
      if (branches == 2) return false;
      branch[branches++] = a;
      excess += degree - 2;
    }
    if (excess != 2) return false;
    // The walks from the first branch atom, one per ring bond: three paths
    // to the other branch atom, or each of two loops twice.
    w_.walks.assign(4 * words_, 0);
    w_.cycles.clear();
    unsigned walk_length[4], lengths[3], cycles = 0, walks = 0;
    for (const auto& arc : g_.Arcs(branch[0])) {
      if (!ring_[arc.bond]) continue;
      std::uint64_t* bits = w_.walks.data() + walks * words_;
      const unsigned end = Walk(branch[0], arc.bond, branch, bits, walk_length[walks]);
      if (end != branch[branches - 1]) return false;
      if (branches == 1 && !Known(bits, w_.cycles.data(), cycles)) {
        w_.cycles.insert(w_.cycles.end(), bits, bits + words_);
        lengths[cycles++] = walk_length[walks];
      }
      ++walks;
    }
    if (branches == 2)
      for (const auto& [p, q] : {std::pair{0u, 1u}, {0u, 2u}, {1u, 2u}}) {
        for (size_t w = 0; w < words_; ++w) w_.cycles.push_back(w_.walks[p * words_ + w] ^ w_.walks[q * words_ + w]);
        lengths[cycles++] = walk_length[p] + walk_length[q];
      }
    if (cycles != 2 && cycles != 3) return false;
    return ChooseTwo(lengths, cycles);
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
  static void Flip(std::uint64_t* bits, unsigned i) { bits[i / 64] ^= std::uint64_t{1} << (i % 64); }
  bool Same(const std::uint64_t* a, const std::uint64_t* b) const { return std::equal(a, a + words_, b); }
  // Whether `bits` is one of the `count` rows at `rows`.
  bool Known(const std::uint64_t* bits, const std::uint64_t* rows, unsigned count) const {
    for (unsigned r = 0; r < count; ++r)
      if (Same(bits, rows + r * words_)) return true;
    return false;
  }

  unsigned RingDegree(unsigned atom) const {
    unsigned degree = 0;
    for (const auto& arc : g_.Arcs(atom)) degree += ring_[arc.bond];
    return degree;
  }

  // From `from` along `bond` through atoms of two ring bonds to the next
  // branch atom, which it returns; the bonds on the way go into `bits`.
  unsigned Walk(unsigned from, unsigned bond, const unsigned (&branch)[2], std::uint64_t* bits,
                unsigned& length) const {
    length = 0;
    unsigned atom = from;
    for (;;) {
      Flip(bits, w_.local_bond[bond]);
      ++length;
      atom = g_.Other(bond, atom);
      if (atom == branch[0] || atom == branch[1]) return atom;
      const unsigned came = bond;
      for (const auto& arc : g_.Arcs(atom))
        if (ring_[arc.bond] && arc.bond != came) bond = arc.bond;
    }
  }

  // Chooses two of the `count` cycles as Basis() does: any two of them are
  // independent, so the shortest first, then the shortest other.
  bool ChooseTwo(const unsigned (&lengths)[3], unsigned count) {
    bool taken[3] = {};
    w_.chosen.clear();
    for (int pick = 0; pick < 2; ++pick) {
      unsigned shortest = kQvNoPos, tied = 0, choice = kQvNoPos;
      for (unsigned c = 0; c < count; ++c) {
        if (taken[c] || lengths[c] > shortest) continue;
        tied = lengths[c] == shortest ? tied + 1 : 1;
        shortest = lengths[c];
        choice = c;
      }
      if (tied > 1) choice = FirstMet(shortest, lengths, taken, count);
      if (choice == kQvNoPos) return false;
      taken[choice] = true;
      const std::uint64_t* bits = w_.cycles.data() + choice * words_;
      w_.chosen.insert(w_.chosen.end(), bits, bits + words_);
    }
    return true;
  }

  // The cycle of `length` not yet taken whose candidate comes first in the
  // order Basis() meets them, or kQvNoPos.
  unsigned FirstMet(unsigned length, const unsigned (&lengths)[3], const bool (&taken)[3], unsigned count) {
    for (const unsigned v : sys_.atoms) {
      w_.candidates.clear();
      w_.pool.clear();
      AddCandidates(v, length - 1, length, w_.candidates);
      for (const Candidate& candidate : w_.candidates)
        for (unsigned c = 0; c < count; ++c)
          if (!taken[c] && lengths[c] == length &&
              Same(w_.pool.data() + candidate.offset, w_.cycles.data() + c * words_))
            return c;
    }
    return kQvNoPos;
  }

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
// SystemRings::ToRing walks it: from the begin atom of its first bond, the
// first ring bond of its lowest atom.
void SimpleCycle(const QvGraphView& g, const BondFlags& ring, unsigned lowest, QvRingPositions& out) {
  unsigned bond = kQvNoPos;
  for (const auto& arc : g.Arcs(lowest))
    if (ring[arc.bond]) {
      bond = arc.bond;
      break;
    }
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
// molecule to the next. Systems of one and two rings take their shortcuts
// unless `search_all`.
void SmallestRings(const QvGraphView& g, const RingMembership& found, std::vector<QvRingPositions>& rings,
                   bool search_all = false) {
  size_t used = 0;
  const auto next = [&rings, &used]() -> QvRingPositions& {
    if (used == rings.size()) rings.emplace_back();
    QvRingPositions& r = rings[used++];
    r.atoms.clear();
    r.bonds.clear();
    return r;
  };
  for (const SystemSummary& summary : found.systems) {
    if (summary.cycles == 1 && !search_all) {
      SimpleCycle(g, found.bonds, summary.lowest, next());
      continue;
    }
    const RingSystem sys = CollectSystem(g, found.bonds, summary.lowest);
    SystemRings finder(g, found.bonds, sys);
    const size_t count = summary.cycles == 2 && !search_all && finder.TwoRings() ? 2 : finder.Basis();
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
  bool valid = false, has_membership = false, has_rings = false;
  unsigned long long view = 0;  // the serial of the last view asked about
  RingMembership membership;
  std::vector<QvRingPositions> rings;
};

KnownShape& Known(const QvGraphView& g) {
  KnownShape& known = ThreadWork<KnownShape>();
  // A view never changes: asked again about the last view, the shape is
  // the same without comparing it. Asked about another, the answers hold
  // when the last view has gone (as a pass's view goes before the next
  // pass makes its own) and had the same shape.
  if (known.valid && known.view != g.Serial()) {
    const QvGraphView::Shape* before = QvGraphView::FinishedShape(known.view);
    known.valid = before && g.SameShape(*before);
  }
  if (!known.valid) {
    known.valid = true;
    known.has_membership = known.has_rings = false;
  }
  known.view = g.Serial();
  return known;
}

const RingMembership& KnownMembership(KnownShape& known, const QvGraphView& g) {
  if (!known.has_membership) {
    FindRingMembership(g, known.membership);
    known.has_membership = true;
  }
  return known.membership;
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
  const RingMembership& found = KnownMembership(Known(g), g);
  // Every atom is in the view, and every bond but those with an empty end:
  // each record's flag is written once.
  if (g.NumBonds() != mol.NumBonds())
    for (QvBondBase& bond : mol.GetBonds()) bond.SetInRing(false);
  const unsigned char* flag = found.bonds.data();
  for (QvBondBase* bond : g.Bonds()) bond->SetInRing(*flag++ != 0);
  flag = found.atoms.data();
  for (QvAtomBase* atom : g.Atoms()) atom->SetInRing(*flag++ != 0);
  mol.SetPerceived(QvPerceivedRings, true);
}

std::vector<QvRing> QvFindSSSR(const QvMolBase& mol) { return QvFindSSSR(QvGraphView(mol)); }

const std::vector<QvRingPositions>& QvFindSSSRPositions(const QvGraphView& g) {
  KnownShape& known = Known(g);
  if (!known.has_rings) {
    SmallestRings(g, KnownMembership(known, g), known.rings);
    known.has_rings = true;
  }
  return known.rings;
}

std::vector<QvRingPositions> QvFindSSSRBySearch(const QvGraphView& g) {
  std::vector<QvRingPositions> rings;
  SmallestRings(g, KnownMembership(Known(g), g), rings, true);
  return rings;
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
