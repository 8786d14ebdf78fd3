// Which atoms and bonds can carry stereo (QvFindStereoCandidates).
#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <numeric>
#include <span>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereogeometry.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

namespace {

// A substituent that stands for a hydrogen, explicit or implicit; the lone
// pair of a three-connected centre is a substituent of its own kind.
constexpr std::int64_t kHydrogen = -1;
constexpr std::int64_t kLonePair = -2;

unsigned BondCode(const QvBondBase& bond) { return bond.IsAromatic() ? 4u : std::min(bond.GetOrder(), 3u); }

bool IsPlainHydrogen(const QvAtomBase& atom, unsigned degree) {
  return atom.GetAtomicNum() == 1 && atom.GetIsotope() == 0 && atom.GetFormalCharge() == 0 && degree == 1;
}

// The configuration of atom `a` read along its neighbours sorted by class:
// the same for atoms alike in hand, 1 and 2 for mirror images; 0 when it
// has none or two neighbours share a class.
std::int64_t StereoCode(const QvGraphView& g, unsigned a, const std::vector<unsigned>& cls) {
  const QvAtomBase& atom = *g.Atom(a);
  std::array<const QvAtomBase*, 4> nbrs{};
  if (!QvHasAtomStereo(atom) || !stereo_geometry::CentreNeighbours(atom, nbrs)) return 0;
  const auto key = [&g, &cls](const QvAtomBase* nbr) -> std::int64_t {
    if (!nbr) return -1;
    const unsigned pos = g.Pos(nbr);
    return IsPlainHydrogen(*nbr, g.Degree(pos)) ? -1 : cls[pos];
  };
  std::sort(nbrs.begin(), nbrs.end(), [&key](const QvAtomBase* x, const QvAtomBase* y) { return key(x) < key(y); });
  for (size_t i = 1; i < 4; ++i)
    if (key(nbrs[i]) == key(nbrs[i - 1])) return 0;
  return static_cast<std::int64_t>(QvGetAtomStereo(atom, nbrs));
}

// The configuration of the double bond `b` read from the substituent of
// lowest class at each end (a hydrogen, explicit or implicit, lowest of
// all): the same for bonds alike in geometry, 1 and 2 for cis and trans; 0
// when it has none or the two substituents at an end share a class.
std::int64_t BondStereoCode(const QvGraphView& g, unsigned b, const std::vector<unsigned>& cls) {
  const QvBondBase& bond = *g.Bond(b);
  if (bond.GetOrder() != 2 || !QvHasBondStereo(bond)) return 0;
  std::array<const QvAtomBase*, 2> refs{};
  for (unsigned side = 0; side < 2; ++side) {
    const unsigned end = side == 0 ? g.BondBgn(b) : g.BondEnd(b);
    // The implicit hydrogen is the null reference.
    std::int64_t lowest = g.Atom(end)->GetImplicitHCount() ? -1 : std::numeric_limits<std::int64_t>::max();
    bool tie = false;
    for (const QvGraphView::Arc& arc : g.Arcs(end)) {
      if (arc.bond == b) continue;
      const std::int64_t key = IsPlainHydrogen(*g.Atom(arc.nbr), g.Degree(arc.nbr)) ? -1 : cls[arc.nbr];
      if (key == lowest) {
        tie = true;
      } else if (key < lowest) {
        lowest = key;
        refs[side] = g.Atom(arc.nbr);
        tie = false;
      }
    }
    if (tie) return 0;
  }
  return static_cast<std::int64_t>(QvGetBondStereo(bond, refs[0], refs[1]));
}

// One key per atom, side by side in one array: first the atom's own
// properties, then, in each round of refinement, what tells it apart within
// its class. Compared as sequences.
class AtomKeys {
 public:
  static constexpr size_t kProperties = 6;

  explicit AtomKeys(const QvGraphView& g) : start_(g.NumAtoms() + 1, 0), size_(g.NumAtoms(), 0) {
    for (unsigned a = 0; a < g.NumAtoms(); ++a)
      start_[a + 1] = start_[a] + std::max<size_t>(kProperties, 1 + g.Degree(a));
    values_.resize(start_.back());
  }

  std::span<const std::int64_t> operator[](unsigned a) const { return {values_.data() + start_[a], size_[a]}; }
  bool Less(unsigned a, unsigned b) const {
    const auto x = (*this)[a], y = (*this)[b];
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
  }
  bool Equal(unsigned a, unsigned b) const {
    const auto x = (*this)[a], y = (*this)[b];
    return std::equal(x.begin(), x.end(), y.begin(), y.end());
  }

  // Sets the key of `a` to `values` (at most its room).
  void Set(unsigned a, std::initializer_list<std::int64_t> values) {
    size_[a] = values.size();
    std::copy(values.begin(), values.end(), values_.begin() + static_cast<std::ptrdiff_t>(start_[a]));
  }

  // The key of `a` as its configuration read along its neighbours by class,
  // then the classes of its neighbours with the bonds to them and their
  // cis/trans.
  void SetNeighbourhood(const QvGraphView& g, unsigned a, const std::vector<unsigned>& cls) {
    std::int64_t* key = values_.data() + start_[a];
    size_t n = 0;
    key[n++] = StereoCode(g, a, cls);
    for (const QvGraphView::Arc& arc : g.Arcs(a))
      key[n++] = (std::int64_t{cls[arc.nbr]} << 3 | BondCode(*g.Bond(arc.bond))) << 2 |
                 BondStereoCode(g, arc.bond, cls);
    std::sort(key + 1, key + n);
    size_[a] = n;
  }

 private:
  std::vector<size_t> start_, size_;
  std::vector<std::int64_t> values_;
};

// Dense class numbers (0, 1, ...) along `order`, a new one wherever the old
// class or the key changes from the atom before; `next` is scratch space.
unsigned Renumber(const std::vector<unsigned>& order, const AtomKeys& keys, std::vector<unsigned>& cls,
                  std::vector<unsigned>& next) {
  next.resize(cls.size());
  unsigned count = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    const unsigned a = order[i];
    if (i > 0 && (cls[a] != cls[order[i - 1]] || !keys.Equal(a, order[i - 1]))) ++count;
    next[a] = count;
  }
  cls.swap(next);
  return order.empty() ? 0 : count + 1;
}

// Symmetry classes without tie breaking: atoms in one class are alike in the
// graph as far as neighbourhood refinement can tell, and alike in hand where
// configurations are stored. Classes only ever split, and an atom alone in
// its class stays so: each round looks at the atoms that still share one.
std::vector<unsigned> SymmetryClasses(const QvGraphView& g) {
  const unsigned n = g.NumAtoms();
  AtomKeys keys(g);
  for (unsigned a = 0; a < n; ++a) {
    const QvAtomBase& atom = *g.Atom(a);
    keys.Set(a, {atom.GetAtomicNum(), atom.GetIsotope(), atom.GetFormalCharge(), atom.GetImplicitHCount(),
                 g.Degree(a), atom.IsAromatic()});
  }
  std::vector<unsigned> order(n), cls(n, 0), scratch;
  std::iota(order.begin(), order.end(), 0u);
  const auto by_key = [&keys](unsigned a, unsigned b) { return keys.Less(a, b); };
  std::sort(order.begin(), order.end(), by_key);
  unsigned classes = Renumber(order, keys, cls, scratch);
  while (classes < n) {
    for (unsigned begin = 0, end = 0; begin < n; begin = end) {
      for (end = begin + 1; end < n && cls[order[end]] == cls[order[begin]];) ++end;
      if (end - begin == 1) continue;
      for (unsigned i = begin; i < end; ++i) keys.SetNeighbourhood(g, order[i], cls);
      std::sort(order.begin() + begin, order.begin() + end, by_key);
    }
    const unsigned refined = Renumber(order, keys, cls, scratch);
    if (refined == classes) break;
    classes = refined;
  }
  return cls;
}

bool FourConnectedElement(unsigned z) {
  switch (z) {
    case 5: case 6: case 7: case 14: case 15: case 16: case 32: case 33: case 34: case 50: case 51: case 52:
      return true;
    default: return false;
  }
}

class CandidateFinder {
 public:
  explicit CandidateFinder(const QvMolBase& mol) : mol_(mol), g_(mol), cls_(SymmetryClasses(g_)) {}

  QvStereoCandidates Run() {
    QvStereoCandidates out;
    out.atoms.assign(mol_.GetMaxAtomIdx(), false);
    out.bonds.assign(mol_.GetMaxBondIdx(), false);
    std::vector<unsigned> ring_stereo;
    std::vector<Kind> kinds(g_.NumAtoms());
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) {
      kinds[a] = Centre(a);
      if (kinds[a] == Kind::Centre) out.atoms[g_.Atom(a)->GetIdx()] = true;
      if (kinds[a] == Kind::RingPair) ring_stereo.push_back(a);
    }
    AcceptFusions(kinds, out);
    AcceptRingStereo(ring_stereo, out);
    for (unsigned b = 0; b < g_.NumBonds(); ++b)
      if (IsStereoDoubleBond(b)) out.bonds[g_.Bond(b)->GetIdx()] = true;
    out.alike_substituents = alike_;
    out.in_shared_class.assign(mol_.GetMaxAtomIdx(), false);
    std::vector<unsigned> class_size(g_.NumAtoms(), 0);
    for (const unsigned c : cls_) ++class_size[c];
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) out.in_shared_class[g_.Atom(a)->GetIdx()] = class_size[cls_[a]] > 1;
    return out;
  }

 private:
  enum class Kind { None, Centre, RingPair, Fusion };

  std::int64_t SubstituentKey(unsigned nbr) const {
    return IsPlainHydrogen(*g_.Atom(nbr), g_.Degree(nbr)) ? kHydrogen : std::int64_t{cls_[nbr]};
  }

  Kind Centre(unsigned a) const {
    const QvAtomBase& atom = *g_.Atom(a);
    const unsigned degree = g_.Degree(a), h = atom.GetImplicitHCount();
    if (atom.IsAromatic() || h > 1) return Kind::None;
    std::array<std::int64_t, 4> keys{};
    size_t n = 0;
    if (degree + h == 4 && FourConnectedElement(atom.GetAtomicNum())) {
      if (h == 1) keys[n++] = kHydrogen;
    } else if (degree == 3 && h == 0 && HasLonePairCentre(a)) {
      keys[n++] = kLonePair;
    } else {
      return Kind::None;
    }
    for (const QvGraphView::Arc& arc : g_.Arcs(a)) keys[n++] = SubstituentKey(arc.nbr);
    std::sort(keys.begin(), keys.end());
    const auto dup = std::adjacent_find(keys.begin(), keys.end());
    if (dup == keys.end()) return Kind::Centre;
    NoteAlike(*dup);
    // One alike pair may still make ring stereo when it is the two ring
    // neighbours and the other two differ from it and each other.
    const bool one_pair = std::adjacent_find(dup + 2, keys.end()) == keys.end() &&
                          (dup + 2 == keys.end() || dup[2] != dup[0]);
    return one_pair && *dup >= 0 ? RingKind(a, *dup) : Kind::None;
  }

  // An alike pair (class `key`) that is two ring neighbours: with no other
  // ring bond, ring stereo as in 1,4-disubstituted cyclohexanes; with one
  // more, to the atom straight across a ring fusion, the cis or trans of the
  // fusion. A bridgehead whose alike bridges lead to an atom further away is
  // no centre: the third bridge fixes it (quinuclidin-3-ol has one centre).
  Kind RingKind(unsigned a, std::int64_t key) const {
    unsigned alike = 0, in_ring = 0, other = kQvNoPos;
    for (const QvGraphView::Arc& arc : g_.Arcs(a)) {
      if (!IsRingBond(arc.bond)) continue;
      ++in_ring;
      if (SubstituentKey(arc.nbr) == key)
        ++alike;
      else
        other = arc.nbr;
    }
    if (alike != 2 || in_ring < 2 || in_ring > 3) return Kind::None;
    if (in_ring == 2) return Kind::RingPair;
    across_.resize(g_.NumAtoms(), kQvNoPos);
    across_[a] = other;
    return Kind::Fusion;
  }

  // A fusion atom is a centre when the atom across, itself a ring fusion
  // (three ring bonds), is a centre or a fusion atom across from it (cis-
  // and trans-decalin).
  void AcceptFusions(const std::vector<Kind>& kinds, QvStereoCandidates& out) const {
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) {
      if (kinds[a] != Kind::Fusion) continue;
      const unsigned b = across_[a];
      const bool partner = kinds[b] == Kind::Centre || (kinds[b] == Kind::Fusion && across_[b] == a);
      if (partner && RingBondCount(b) >= 3) out.atoms[g_.Atom(a)->GetIdx()] = true;
    }
  }

  unsigned RingBondCount(unsigned a) const {
    unsigned n = 0;
    for (const QvGraphView::Arc& arc : g_.Arcs(a)) n += IsRingBond(arc.bond);
    return n;
  }

  // Three-connected atoms whose lone pair holds its place: they do not invert
  // at room temperature.
  bool HasLonePairCentre(unsigned a) const {
    const QvAtomBase& atom = *g_.Atom(a);
    unsigned singles = 0, doubles = 0;
    for (const QvGraphView::Arc& arc : g_.Arcs(a)) {
      const QvBondBase& bond = *g_.Bond(arc.bond);
      if (bond.IsAromatic()) return false;
      singles += bond.GetOrder() == 1;
      doubles += bond.GetOrder() == 2;
    }
    const int charge = atom.GetFormalCharge();
    switch (atom.GetAtomicNum()) {
      case 16:
      case 34: return (charge == 0 && singles == 2 && doubles == 1) || (charge == 1 && singles == 3);
      case 15:
      case 33: return charge == 0 && singles == 3;
      case 7: {
        if (charge != 0 || singles != 3) return false;
        const unsigned ring_bonds = RingBondCount(a);
        return ring_bonds >= 2 && (QvSmallestRingSize(atom, 3) != 0 || IsBridgehead(a));
      }
      default: return false;
    }
  }

  // Substituents of one symmetry class may yet be told apart by
  // configurations; hydrogens never are.
  void NoteAlike(std::int64_t key) const { alike_ = alike_ || key >= 0; }

  // The smallest rings, found once and only when asked for.
  const std::vector<QvRingPositions>& Rings() const {
    if (!rings_found_) {
      rings_ = QvFindSSSRPositions(g_);
      rings_found_ = true;
    }
    return rings_;
  }

  // A bond is in a ring exactly when it is in one of the smallest rings; the
  // ring flags, where perceived, say so without finding them.
  bool IsRingBond(unsigned b) const {
    if (ring_bonds_.empty()) {
      ring_bonds_.assign(g_.NumBonds(), false);
      if (mol_.HasPerceived(QvPerceivedRings)) {
        for (unsigned i = 0; i < g_.NumBonds(); ++i) ring_bonds_[i] = g_.Bond(i)->IsInRing();
      } else {
        for (const QvRingPositions& ring : Rings())
          for (const unsigned bond : ring.bonds) ring_bonds_[bond] = true;
      }
    }
    return ring_bonds_[b];
  }

  // An atom where two smallest rings share more than one bond: the head of
  // a bridge, which a nitrogen cannot turn inside out (in a ring fusion,
  // where they share one bond, it can).
  bool IsBridgehead(unsigned a) const {
    std::vector<const QvRingPositions*> through;
    for (const QvRingPositions& ring : Rings())
      if (std::find(ring.atoms.begin(), ring.atoms.end(), a) != ring.atoms.end()) through.push_back(&ring);
    for (size_t i = 0; i < through.size(); ++i)
      for (size_t j = i + 1; j < through.size(); ++j) {
        size_t shared = 0;
        for (const unsigned atom : through[i]->atoms)
          shared += std::find(through[j]->atoms.begin(), through[j]->atoms.end(), atom) != through[j]->atoms.end();
        if (shared > 2) return true;
      }
    return false;
  }

  // A ring-stereo atom needs a partner on one of its smallest rings: another
  // such atom (1,4-dimethylcyclohexane, against methylcyclohexane) or a
  // centre, which then has a mirror partner across it (C2 of
  // cyclohexane-1,2,3-triol; C6 of a bicyclo[3.1.0]hexane).
  void AcceptRingStereo(const std::vector<unsigned>& pending, QvStereoCandidates& out) const {
    if (pending.empty()) return;
    std::vector<bool> is_pending(g_.NumAtoms(), false);
    for (const unsigned a : pending) is_pending[a] = true;
    for (const QvRingPositions& ring : Rings()) {
      unsigned count = 0, centres = 0;
      for (const unsigned a : ring.atoms) {
        count += is_pending[a];
        centres += out.atoms[g_.Atom(a)->GetIdx()] && !is_pending[a];
      }
      if (count == 0 || count + centres < 2) continue;
      for (const unsigned a : ring.atoms)
        if (is_pending[a]) out.atoms[g_.Atom(a)->GetIdx()] = true;
    }
  }

  // One end of a candidate double bond `b` at atom `end`. The end may be an
  // aromatic ring atom with the double bond outside the ring (an imine or
  // ylidene on a heteroaromatic ring): its ring bonds are single in the
  // Kekulé form, and its two ring neighbours tell the sides apart.
  bool StereoBondEnd(unsigned b, unsigned end) const {
    const QvAtomBase& atom = *g_.Atom(end);
    std::array<std::int64_t, 2> keys{};
    unsigned n = 0;
    for (const QvGraphView::Arc& arc : g_.Arcs(end)) {
      if (arc.bond == b) continue;
      const unsigned order = g_.Bond(arc.bond)->GetOrder();
      if ((order != 1 && order != kQvAromaticOrder) || n == 2) return false;
      keys[n++] = SubstituentKey(arc.nbr);
    }
    const unsigned h = atom.GetImplicitHCount();
    if (n == 0 || n + h > 2) return false;
    if (h == 1) keys[n++] = kHydrogen;
    if (n == 2 && keys[0] == keys[1]) NoteAlike(keys[0]);
    if (n == 2) return keys[0] != keys[1];
    // A lone pair against one substituent; not a hydrogen, whose side an
    // imine swaps faster than anything can be kept apart.
    const unsigned z = atom.GetAtomicNum();
    return (z == 7 || z == 15) && atom.GetFormalCharge() == 0 && keys[0] != kHydrogen;
  }

  bool IsStereoDoubleBond(unsigned b) const {
    const QvBondBase& bond = *g_.Bond(b);
    if (bond.GetOrder() != 2 || bond.IsAromatic()) return false;
    if (!StereoBondEnd(b, g_.BondBgn(b)) || !StereoBondEnd(b, g_.BondEnd(b))) return false;
    return !IsRingBond(b) || QvSmallestRingSize(bond, 7) == 0;
  }

  const QvMolBase& mol_;
  QvGraphView g_;
  std::vector<unsigned> cls_;
  mutable bool rings_found_ = false;
  mutable std::vector<QvRingPositions> rings_;
  mutable std::vector<bool> ring_bonds_;
  mutable std::vector<unsigned> across_;
  mutable bool alike_ = false;
};

}  // namespace

QvStereoCandidates QvFindStereoCandidates(const QvMolBase& mol) { return CandidateFinder(mol).Run(); }

}  // namespace Tamrin
