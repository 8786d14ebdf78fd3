#include "tamrin/search/fingerprint.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <utility>
#include <vector>

#include "tamrin/model/atombase.h"
#include "tamrin/model/bondbase.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/rings.h"
#include "tamrin/search/qmol.h"

namespace Tamrin {

namespace {

std::uint64_t Mix(std::uint64_t h, std::uint64_t x) { return (h ^ x) * 0x100000001B3ull; }

// splitmix64's finaliser: the low bits that pick a fingerprint bit depend on
// every input bit.
std::uint64_t Finish(std::uint64_t h) {
  h ^= h >> 30;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 27;
  h *= 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

std::uint64_t Seed(QvScreenFeature kind, std::size_t atoms) {
  return Mix(Mix(0xCBF29CE484222325ull, static_cast<std::uint64_t>(kind)), atoms);
}

// Interleaved atom and bond codes of a walk that starts at atom `start` and
// steps `dir` (+1 or -1) around a ring of n atoms, or along a path.
struct Walk {
  std::span<const std::uint32_t> atoms;
  std::span<const std::uint8_t> bonds;
  std::size_t Length() const { return atoms.size() + bonds.size(); }
  // Element k of the walk from `start` in direction `dir`.
  std::uint32_t At(std::size_t start, int dir, std::size_t k) const {
    const std::size_t n = atoms.size();
    const std::size_t step = k / 2;
    if (dir > 0) {
      const std::size_t a = (start + step) % n;
      return k % 2 == 0 ? atoms[a] : bonds[a];
    }
    const std::size_t a = (start + n - step % n) % n;
    // Walking backwards, the bond after atom a is the one before it.
    return k % 2 == 0 ? atoms[a] : bonds[(a + n - 1) % n];
  }
  // Whether the walk (s1, d1) is lexicographically before (s2, d2).
  bool Before(std::size_t s1, int d1, std::size_t s2, int d2) const {
    for (std::size_t k = 0; k < Length(); ++k) {
      const std::uint32_t x = At(s1, d1, k), y = At(s2, d2, k);
      if (x != y) return x < y;
    }
    return false;
  }
};

}  // namespace

std::uint64_t QvScreenFeatureHash(QvScreenFeature kind, std::span<const std::uint32_t> atoms,
                                  std::span<const std::uint8_t> bonds) {
  const bool cycle = kind == QvScreenFeature::Cycle || kind == QvScreenFeature::CoarseCycle ||
                     kind == QvScreenFeature::SkeletonCycle;
  if (cycle ? atoms.size() < 3 || bonds.size() != atoms.size() : atoms.size() != bonds.size() + 1) return 0;
  const Walk walk{atoms, bonds};
  std::size_t best_start = 0;
  int best_dir = 1;
  if (cycle) {
    for (std::size_t s = 0; s < atoms.size(); ++s)
      for (int d : {1, -1})
        if (walk.Before(s, d, best_start, best_dir)) best_start = s, best_dir = d;
  } else if (walk.Before(atoms.size() - 1, -1, 0, 1)) {
    best_start = atoms.size() - 1, best_dir = -1;
  }
  std::uint64_t h = Seed(kind, atoms.size());
  if (cycle) {
    for (std::size_t k = 0; k < walk.Length(); ++k) h = Mix(h, walk.At(best_start, best_dir, k));
  } else {
    // A path is not a ring: its walk indices never wrap, so At's modular
    // stepping reads it straight (bonds[i] sits between atoms i and i + 1).
    const std::size_t last = atoms.size() - 1;
    for (std::size_t k = 0; k < walk.Length(); ++k) {
      const std::size_t i = best_dir > 0 ? k / 2 : last - k / 2;
      h = Mix(h, k % 2 == 0 ? atoms[i] : bonds[best_dir > 0 ? i : i - 1]);
    }
  }
  return Finish(h);
}

namespace {

// Bond levels: exact codes, single and aromatic alike, every bond alike.
constexpr unsigned kLevels = 3;
// Atom levels: the element; the element with the halogens alike; any atom
// that is not hydrogen. The codes of the last two, which no element has:
constexpr std::uint32_t kHalogen = 0xFFFE, kAnyHeavyAtom = 0xFFFF;
constexpr unsigned kAtomLevels = 3;

bool IsHalogen(unsigned z) { return z == 9 || z == 17 || z == 35 || z == 53; }

std::uint32_t AtAtomLevel(std::uint32_t code, unsigned level) {
  return level == 0 ? code : level == 2 ? kAnyHeavyAtom : IsHalogen(code) ? kHalogen : code;
}

QvScreenFeature AtLevel(QvScreenFeature exact, unsigned level) {
  return static_cast<QvScreenFeature>(static_cast<unsigned>(exact) + 3 * level);
}

// Per atom and per bond, what the fingerprints read.
struct Codes {
  std::vector<std::uint32_t> atom_code;
  std::vector<std::uint8_t> bond_code, bond_level, atom_level;
  // heavy: atomic number above 1; walk: atoms the screen's paths go through.
  std::vector<char> heavy, walk, ring_bond, ring_atom;

  Codes(unsigned atoms, unsigned bonds)
      : atom_code(atoms),
        bond_code(bonds),
        bond_level(bonds),
        atom_level(atoms),
        heavy(atoms),
        walk(atoms),
        ring_bond(bonds),
        ring_atom(atoms) {}
};

// The molecule's graph with its codes.
struct CodedGraph : Codes {
  const QvGraphView& view;

  explicit CodedGraph(const QvGraphView& g) : Codes(g.NumAtoms(), g.NumBonds()), view(g) {
    for (unsigned a = 0; a < g.NumAtoms(); ++a) {
      const QvAtomBase& atom = *g.Atom(a);
      atom_code[a] = QvScreenAtomCode(atom.GetAtomicNum());
      heavy[a] = atom.GetAtomicNum() > 1;
      // Atoms of atomic number 0 too: a query's "any heavy atom" may be one.
      walk[a] = atom.GetAtomicNum() != 1 || atom.IsAromatic();
    }
    for (unsigned b = 0; b < g.NumBonds(); ++b) {
      const QvBondBase& bond = *g.Bond(b);
      bond_code[b] = QvScreenBondCode(bond.GetOrder(), bond.IsAromatic());
      ring_bond[b] = bond.IsInRing();
      if (ring_bond[b]) ring_atom[g.BondBgn(b)] = ring_atom[g.BondEnd(b)] = 1;
    }
  }
  unsigned NumAtoms() const { return view.NumAtoms(); }
  std::span<const QvGraphView::Arc> Arcs(unsigned a) const { return view.Arcs(a); }
};

// The value of an atom primitive that an expression demands (one on its
// chain of ands), if any.
bool DemandedValue(const QvQMolBase& q, unsigned idx, QvQAtomPrim prim, int& value) {
  const QvQNode& n = q.Node(idx);
  if (n.op == QvQOp::And || n.op == QvQOp::AndLow)
    return DemandedValue(q, n.left, prim, value) || DemandedValue(q, n.right, prim, value);
  if (n.op != QvQOp::Prim || QvQAtomPrim(n.prim) != prim) return false;
  value = n.value;
  return true;
}

// The values (elements, bond codes) a target atom or bond matching a query
// expression may have, as a set: `exact` when the expression reads nothing
// but that value, so that its negation is the complement; otherwise a
// superset. `leaf` gives the set of one primitive.
template <class Set>
struct Possible {
  Set set;
  bool exact;
};
template <class Set, class Leaf>
Possible<Set> PossibleValues(const QvQMolBase& q, unsigned idx, const Set& all, const Leaf& leaf) {
  const QvQNode& n = q.Node(idx);
  switch (n.op) {
    case QvQOp::Not: {
      const Possible<Set> inner = PossibleValues(q, n.left, all, leaf);
      return inner.exact ? Possible<Set>{all & ~inner.set, true} : Possible<Set>{all, false};
    }
    case QvQOp::And:
    case QvQOp::AndLow:
    case QvQOp::Or: {
      const Possible<Set> l = PossibleValues(q, n.left, all, leaf), r = PossibleValues(q, n.right, all, leaf);
      return {n.op == QvQOp::Or ? l.set | r.set : l.set & r.set, l.exact && r.exact};
    }
    case QvQOp::Prim: break;
  }
  return leaf(q, n);
}

using PossibleZ = Possible<std::bitset<256>>;
PossibleZ PossibleElements(const QvQMolBase& q, unsigned idx);

PossibleZ ElementsOfPrimitive(const QvQMolBase& q, const QvQNode& n) {
  std::bitset<256> all;
  all.set();
  const bool element_prim = QvQAtomPrim(n.prim) == QvQAtomPrim::AtomicNum ||
                            QvQAtomPrim(n.prim) == QvQAtomPrim::AliphaticElement ||
                            QvQAtomPrim(n.prim) == QvQAtomPrim::AromaticElement;
  if (element_prim && n.value >= 0 && n.value < 256) {
    std::bitset<256> one;
    one.set(static_cast<std::size_t>(n.value));
    // Only #n reads nothing but the element; c is also "aromatic".
    return {one, QvQAtomPrim(n.prim) == QvQAtomPrim::AtomicNum};
  }
  // A $(...) matches where its first atom does.
  if (QvQAtomPrim(n.prim) == QvQAtomPrim::Recursive && n.value >= 0 &&
      static_cast<std::size_t>(n.value) < q.Recursive().size()) {
    const QvQMolBase& nested = *q.Recursive()[static_cast<std::size_t>(n.value)];
    if (nested.NumAtoms() > 0) return {PossibleElements(nested, nested.Atoms()[0].expr).set, false};
  }
  // Hydrogen is never aromatic.
  if (QvQAtomPrim(n.prim) == QvQAtomPrim::Aromatic) return {all.reset(1), false};
  return {all, false};
}

// The elements an atom matching an expression may have.
PossibleZ PossibleElements(const QvQMolBase& q, unsigned idx) {
  std::bitset<256> all;
  all.set();
  return PossibleValues(q, idx, all, ElementsOfPrimitive);
}

// A query's graph coded the same way. Only what every match is sure to find
// in the target is coded: an atom whose expression allows one heavy element,
// or only heavy ones (coded at the "any heavy atom" level); a bond at the
// finest level its expression is sure of. No feature passes through other
// atoms. A bond is a ring
// bond when it lies on a cycle of the query (its image then lies on a cycle
// of the target) or its expression demands a ring bond.
struct QueryGraph : Codes {
  std::vector<std::vector<QvGraphView::Arc>> arcs;

  explicit QueryGraph(const QvQMolBase& q) : Codes(q.NumAtoms(), q.NumBonds()), arcs(q.NumAtoms()) {
    for (unsigned a = 0; a < q.NumAtoms(); ++a) {
      const PossibleZ elements = PossibleElements(q, q.Atoms()[a].expr);
      if (elements.set.none() || elements.set.test(1)) continue;
      walk[a] = 1;
      unsigned z = 0;
      if (elements.set.count() == 1)
        while (!elements.set.test(z)) ++z;
      std::bitset<256> halogens;
      for (unsigned x : {9, 17, 35, 53}) halogens.set(x);
      if (z > 1) {
        atom_code[a] = QvScreenAtomCode(z);
        heavy[a] = 1;
      } else if ((elements.set & ~halogens).none()) {
        atom_code[a] = kHalogen;
        atom_level[a] = 1;
      } else {
        atom_code[a] = kAnyHeavyAtom;
        atom_level[a] = 2;
      }
    }
    for (unsigned b = 0; b < q.NumBonds(); ++b) {
      const QvQBond& bond = q.Bonds()[b];
      const Possible<unsigned> codes = PossibleCodes(q, bond.expr);
      if (codes.set == 0) continue;  // matches no bond: nothing to walk
      if (std::has_single_bit(codes.set)) {
        bond_code[b] = static_cast<std::uint8_t>(std::countr_zero(codes.set));
      } else if ((codes.set & ~kSingleOrAromatic) == 0) {
        bond_code[b] = QvScreenBondCode(1, false);
        bond_level[b] = 1;
      } else {
        bond_level[b] = 2;
      }
      arcs[bond.bgn].push_back({bond.end, b});
      arcs[bond.end].push_back({bond.bgn, b});
    }
    for (unsigned b = 0; b < q.NumBonds(); ++b) {
      ring_bond[b] = OnCycle(q, b) || DemandsRing(q, q.Bonds()[b].expr);
      if (ring_bond[b]) ring_atom[q.Bonds()[b].bgn] = ring_atom[q.Bonds()[b].end] = 1;
    }
  }
  unsigned NumAtoms() const { return static_cast<unsigned>(arcs.size()); }
  std::span<const QvGraphView::Arc> Arcs(unsigned a) const { return arcs[a]; }

 private:
  // Bond codes 1 to 6 as bits 1 to 6.
  static constexpr unsigned kAllCodes = 0b1111110;
  static constexpr unsigned kSingleOrAromatic = 1u << 1 | 1u << 4;
  // The codes a bond matching an expression may have.
  static Possible<unsigned> PossibleCodes(const QvQMolBase& q, unsigned idx) {
    return PossibleValues(q, idx, kAllCodes, CodesOfPrimitive);
  }
  static Possible<unsigned> CodesOfPrimitive(const QvQMolBase&, const QvQNode& n) {
    const auto code = [](unsigned order, bool aromatic) { return 1u << QvScreenBondCode(order, aromatic); };
    switch (QvQBondPrim(n.prim)) {
      case QvQBondPrim::Single: return {code(1, false), true};
      case QvQBondPrim::Double: return {code(2, false), true};
      case QvQBondPrim::Triple: return {code(3, false), true};
      case QvQBondPrim::Aromatic: return {code(1, true), true};
      case QvQBondPrim::Default:
      case QvQBondPrim::Up:
      case QvQBondPrim::Down: return {kSingleOrAromatic, true};
      case QvQBondPrim::Any: return {kAllCodes, true};
      default: return {kAllCodes, false};
    }
  }

  static bool DemandsRing(const QvQMolBase& q, unsigned idx) {
    const QvQNode& n = q.Node(idx);
    if (n.op == QvQOp::And || n.op == QvQOp::AndLow) return DemandsRing(q, n.left) || DemandsRing(q, n.right);
    return n.op == QvQOp::Prim && QvQBondPrim(n.prim) == QvQBondPrim::Ring;
  }

  // Whether bond b's ends stay connected without it. Queries are small, so
  // a search per bond costs nothing worth a bridge-finding pass.
  static bool OnCycle(const QvQMolBase& q, unsigned b) {
    const unsigned from = q.Bonds()[b].bgn, to = q.Bonds()[b].end;
    std::vector<char> seen(q.NumAtoms());
    std::vector<unsigned> todo{from};
    seen[from] = 1;
    while (!todo.empty()) {
      const unsigned a = todo.back();
      todo.pop_back();
      for (unsigned other = 0; other < q.NumBonds(); ++other) {
        const QvQBond& bond = q.Bonds()[other];
        if (other == b || (bond.bgn != a && bond.end != a)) continue;
        const unsigned next = bond.bgn == a ? bond.end : bond.bgn;
        if (next == to) return true;
        if (!seen[next]) seen[next] = 1, todo.push_back(next);
      }
    }
    return false;
  }
};

// `atom`: an element's code or kAnyHeavyAtom.
void SetChargeBit(QvFingerprint& fp, std::uint32_t atom, int charge) {
  const std::uint32_t code = atom * 16 + (static_cast<unsigned>(charge) & 15);
  QvSetFeatureBit(fp, QvScreenFeatureHash(QvScreenFeature::Charge, std::span(&code, 1), {}));
}

void SetAromaticBit(QvFingerprint& fp, std::uint32_t atom) {
  QvSetFeatureBit(fp, QvScreenFeatureHash(QvScreenFeature::AromaticAtom, std::span(&atom, 1), {}));
}

// Features every atom matching an expression is sure to bring that the
// path walk does not see: the screens of the $(...) queries it demands and
// its charge. An "or" is sure of what both sides are.
QvFingerprint SureFeatures(const QvQMolBase& q, unsigned idx) {
  QvFingerprint fp{};
  const QvQNode& n = q.Node(idx);
  switch (n.op) {
    case QvQOp::Not: return fp;
    case QvQOp::Or:
    case QvQOp::And:
    case QvQOp::AndLow: {
      const QvFingerprint l = SureFeatures(q, n.left), r = SureFeatures(q, n.right);
      for (unsigned w = 0; w < kQvFingerprintWords; ++w) fp[w] = n.op == QvQOp::Or ? l[w] & r[w] : l[w] | r[w];
      if (n.op == QvQOp::Or) return fp;
      break;
    }
    case QvQOp::Prim:
      if (QvQAtomPrim(n.prim) == QvQAtomPrim::Recursive && n.value >= 0 &&
          static_cast<std::size_t>(n.value) < q.Recursive().size())
        return QvScreenFingerprint(*q.Recursive()[static_cast<std::size_t>(n.value)]);
      break;
  }
  int z = 0;
  if (DemandedValue(q, idx, QvQAtomPrim::AromaticElement, z) && z > 1 && z < 256)
    SetAromaticBit(fp, QvScreenAtomCode(static_cast<unsigned>(z)));
  int charge = 0;
  if (!DemandedValue(q, idx, QvQAtomPrim::Charge, charge) || charge == 0) return fp;
  const std::bitset<256> elements = PossibleElements(q, idx).set;
  if (elements.none() || elements.test(1)) return fp;
  SetChargeBit(fp, kAnyHeavyAtom, charge);
  if (elements.count() == 1 && !elements.test(0)) {
    unsigned element = 2;
    while (!elements.test(element)) ++element;
    SetChargeBit(fp, QvScreenAtomCode(element), charge);
  }
  return fp;
}

// The ring flags the fingerprints need: the molecule's own, or a copy's.
struct WithRings {
  QvWorkingMol work;
  explicit WithRings(const QvMolBase& mol) : work(mol) {
    if (!mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(work.Copy());
  }
};

constexpr unsigned kMaxAtoms = kQvScreenMaxPathBonds + 1;

template <class Graph>
class PathWalker {
 public:
  PathWalker(const Graph& g, QvFingerprint& fp) : g_(g), fp_(fp), on_path_(g.NumAtoms()) {}

  // False when the walk was cut at kQvScreenMaxPaths.
  bool Run() {
    for (unsigned a = 0; a < g_.NumAtoms() && walked_ <= kQvScreenMaxPaths; ++a) {
      if (!g_.walk[a]) continue;
      pos_[0] = a;
      codes_[0] = g_.atom_code[a];
      on_path_[a] = 1;
      Extend(0);
      on_path_[a] = 0;
    }
    return walked_ <= kQvScreenMaxPaths;
  }

 private:
  // Sets the bits of a path (or, with `closed`, a cycle) of `nbonds` bonds
  // at each atom and bond level it is coded at.
  void SetBits(QvScreenFeature exact, unsigned nbonds, bool closed) {
    const unsigned natoms = closed ? nbonds : nbonds + 1;
    unsigned level = 0, atom_level = 0;
    bool halogen = false;
    for (unsigned i = 0; i < nbonds; ++i) level = std::max<unsigned>(level, levels_[i]);
    for (unsigned i = 0; i < natoms; ++i) {
      atom_level = std::max<unsigned>(atom_level, g_.atom_level[pos_[i]]);
      halogen = halogen || IsHalogen(codes_[i]) || codes_[i] == kHalogen;
    }
    // A feature is coded at its own levels and every coarser one: a query's
    // screen then holds what a coarser alternative of an "or" may share.
    for (unsigned atoms_at = atom_level; atoms_at < kAtomLevels; ++atoms_at) {
      // Without a halogen the middle level codes as the first.
      if (atoms_at == 1 && !halogen) continue;
      std::uint32_t acoded[kMaxAtoms];
      for (unsigned i = 0; i < natoms; ++i) acoded[i] = AtAtomLevel(codes_[i], atoms_at);
      for (unsigned at = level; at < kLevels; ++at) {
        std::uint8_t coded[kMaxAtoms];
        for (unsigned i = 0; i < nbonds; ++i)
          coded[i] = at == 0 ? bcodes_[i] : at == 1 ? QvScreenCoarseBondCode(bcodes_[i]) : 0;
        QvSetFeatureBit(fp_, QvScreenFeatureHash(AtLevel(exact, at), std::span(acoded, natoms),
                                                 std::span(coded, nbonds)));
      }
    }
  }

  void Emit(unsigned nbonds) {
    // Each path is walked from both ends: hash it from the lower one only.
    if (nbonds > 0 && pos_[0] > pos_[nbonds]) return;
    bool ring = nbonds > 0 || g_.ring_atom[pos_[0]];
    for (unsigned i = 0; i < nbonds && ring; ++i) ring = g_.ring_bond[bonds_[i]];
    if (nbonds == 0) {
      // One atom: no bonds to code, and "any heavy atom" says nothing.
      for (unsigned at = g_.atom_level[pos_[0]]; at < 2; ++at) {
        if (at == 1 && !IsHalogen(codes_[0]) && codes_[0] != kHalogen) break;
        const std::uint32_t code = AtAtomLevel(codes_[0], at);
        QvSetFeatureBit(fp_, QvScreenFeatureHash(QvScreenFeature::Path, std::span(&code, 1), {}));
        if (ring) QvSetFeatureBit(fp_, QvScreenFeatureHash(QvScreenFeature::RingPath, std::span(&code, 1), {}));
      }
      return;
    }
    SetBits(QvScreenFeature::Path, nbonds, false);
    if (ring) SetBits(QvScreenFeature::RingPath, nbonds, false);
  }

  void Extend(unsigned nbonds) {
    if (++walked_ > kQvScreenMaxPaths) return;
    Emit(nbonds);
    const unsigned last = pos_[nbonds];
    for (const QvGraphView::Arc& arc : g_.Arcs(last)) {
      if (!g_.walk[arc.nbr]) continue;
      if (arc.nbr == pos_[0]) {
        // A ring closes: hashed once, from its lowest atom towards the lower
        // of that atom's two ring neighbours.
        if (nbonds >= 2 && IsLowest(nbonds) && pos_[1] < last) {
          bcodes_[nbonds] = g_.bond_code[arc.bond];
          levels_[nbonds] = g_.bond_level[arc.bond];
          SetBits(QvScreenFeature::Cycle, nbonds + 1, true);
        }
        continue;
      }
      if (on_path_[arc.nbr] || nbonds == kQvScreenMaxPathBonds) continue;
      pos_[nbonds + 1] = arc.nbr;
      codes_[nbonds + 1] = g_.atom_code[arc.nbr];
      bonds_[nbonds] = arc.bond;
      bcodes_[nbonds] = g_.bond_code[arc.bond];
      levels_[nbonds] = g_.bond_level[arc.bond];
      on_path_[arc.nbr] = 1;
      Extend(nbonds + 1);
      on_path_[arc.nbr] = 0;
      if (walked_ > kQvScreenMaxPaths) return;
    }
  }

  bool IsLowest(unsigned nbonds) const {
    for (unsigned i = 1; i <= nbonds; ++i)
      if (pos_[i] < pos_[0]) return false;
    return true;
  }

  const Graph& g_;
  QvFingerprint& fp_;
  std::vector<char> on_path_;
  unsigned pos_[kMaxAtoms] = {};
  unsigned bonds_[kMaxAtoms] = {};
  std::uint32_t codes_[kMaxAtoms] = {};
  std::uint8_t bcodes_[kMaxAtoms] = {};
  std::uint8_t levels_[kMaxAtoms] = {};
  std::size_t walked_ = 0;
};

}  // namespace

bool QvScreenFingerprint(const QvMolBase& mol, QvFingerprint& fp) {
  fp.fill(0);
  const WithRings rings(mol);
  const QvGraphView view(rings.work.Get());
  const CodedGraph graph(view);
  if (PathWalker(graph, fp).Run()) {
    for (unsigned a = 0; a < view.NumAtoms(); ++a) {
      const QvAtomBase& atom = *view.Atom(a);
      if (graph.heavy[a] && atom.IsAromatic()) SetAromaticBit(fp, QvScreenAtomCode(atom.GetAtomicNum()));
      if (!graph.walk[a] || atom.GetFormalCharge() == 0) continue;
      SetChargeBit(fp, kAnyHeavyAtom, atom.GetFormalCharge());
      if (graph.heavy[a]) SetChargeBit(fp, QvScreenAtomCode(atom.GetAtomicNum()), atom.GetFormalCharge());
    }
    return true;
  }
  fp.fill(~std::uint64_t{0});
  return false;
}

QvFingerprint QvScreenFingerprint(const QvMolBase& mol) {
  QvFingerprint fp;
  QvScreenFingerprint(mol, fp);
  return fp;
}

QvFingerprint QvScreenFingerprint(const QvQMolBase& query) {
  QvFingerprint fp{};
  const QueryGraph graph(query);
  // A query too dense to walk screens nothing out.
  if (!PathWalker(graph, fp).Run()) return QvFingerprint{};
  for (const QvQAtom& atom : query.Atoms()) {
    const QvFingerprint sure = SureFeatures(query, atom.expr);
    for (unsigned w = 0; w < kQvFingerprintWords; ++w) fp[w] |= sure[w];
  }
  return fp;
}

QvFingerprint QvCircularFingerprint(const QvMolBase& mol) {
  QvFingerprint fp{};
  const WithRings rings(mol);
  const QvGraphView g(rings.work.Get());
  const CodedGraph coded(g);
  const unsigned n = g.NumAtoms();
  std::vector<std::uint64_t> ids(n), next(n);
  for (unsigned a = 0; a < n; ++a) {
    if (!coded.heavy[a]) continue;
    const QvAtomBase& atom = *g.Atom(a);
    unsigned degree = 0, hydrogens = atom.GetImplicitHCount();
    for (const QvGraphView::Arc& arc : g.Arcs(a)) {
      if (coded.heavy[arc.nbr]) ++degree;
      else if (g.Atom(arc.nbr)->GetAtomicNum() == 1) ++hydrogens;
    }
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (std::uint64_t x : {std::uint64_t{atom.GetAtomicNum()}, std::uint64_t{degree}, std::uint64_t{hydrogens},
                            static_cast<std::uint64_t>(static_cast<std::int64_t>(atom.GetFormalCharge())),
                            std::uint64_t{atom.GetIsotope()}, std::uint64_t(coded.ring_atom[a]),
                            std::uint64_t{atom.IsAromatic()}})
      h = Mix(h, x);
    ids[a] = Finish(h);
    QvSetFeatureBit(fp, ids[a]);
  }
  std::vector<std::pair<std::uint8_t, std::uint64_t>> around;
  for (unsigned round = 1; round <= 2; ++round) {
    for (unsigned a = 0; a < n; ++a) {
      if (!coded.heavy[a]) continue;
      around.clear();
      for (const QvGraphView::Arc& arc : g.Arcs(a))
        if (coded.heavy[arc.nbr]) around.emplace_back(coded.bond_code[arc.bond], ids[arc.nbr]);
      std::sort(around.begin(), around.end());
      std::uint64_t h = Mix(Mix(0x84222325CBF29CE4ull, round), ids[a]);
      for (const auto& [bond, id] : around) h = Mix(Mix(h, bond), id);
      next[a] = Finish(h);
      QvSetFeatureBit(fp, next[a]);
    }
    ids.swap(next);
  }
  return fp;
}

bool QvFingerprintContains(const QvFingerprint& super, const QvFingerprint& sub) {
  for (unsigned w = 0; w < kQvFingerprintWords; ++w)
    if (sub[w] & ~super[w]) return false;
  return true;
}

unsigned QvPopCount(const QvFingerprint& fp) {
  unsigned n = 0;
  for (std::uint64_t w : fp) n += static_cast<unsigned>(std::popcount(w));
  return n;
}

double QvTanimoto(const QvFingerprint& a, const QvFingerprint& b) {
  unsigned both = 0, either = 0;
  for (unsigned w = 0; w < kQvFingerprintWords; ++w) {
    both += static_cast<unsigned>(std::popcount(a[w] & b[w]));
    either += static_cast<unsigned>(std::popcount(a[w] | b[w]));
  }
  return either ? static_cast<double>(both) / either : 0.0;
}

namespace {

template <class Count>
void BulkTanimoto(const QvFingerprint& query, const std::uint64_t* fps, std::size_t count, double* scores,
                  Count popcount) {
  unsigned query_bits = 0;
  for (std::uint64_t w : query) query_bits += popcount(w);
  for (std::size_t i = 0; i < count; ++i, fps += kQvFingerprintWords) {
    unsigned both = 0, bits = 0;
    for (unsigned w = 0; w < kQvFingerprintWords; ++w) {
      both += popcount(query[w] & fps[w]);
      bits += popcount(fps[w]);
    }
    const unsigned either = query_bits + bits - both;
    scores[i] = either ? static_cast<double>(both) / either : 0.0;
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("popcnt"))) void BulkTanimotoPopcnt(const QvFingerprint& query, const std::uint64_t* fps,
                                                          std::size_t count, double* scores) {
  BulkTanimoto(query, fps, count, scores,
               [](std::uint64_t w) { return static_cast<unsigned>(__builtin_popcountll(w)); });
}
#endif

}  // namespace

void QvBulkTanimoto(const QvFingerprint& query, const std::uint64_t* fps, std::size_t count, double* scores) {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool has_popcnt = __builtin_cpu_supports("popcnt");
  if (has_popcnt) return BulkTanimotoPopcnt(query, fps, count, scores);
#endif
  BulkTanimoto(query, fps, count, scores, [](std::uint64_t w) { return static_cast<unsigned>(std::popcount(w)); });
}

}  // namespace Tamrin
