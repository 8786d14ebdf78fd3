#include "tamrin/perception/aromaticity.h"

#include <algorithm>
#include <limits>
#include <set>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/valence.h"

namespace Tamrin {

namespace {

// Acceptance rules. A ring atom's pi electrons, from its Kekulé environment
// (d = connections including implicit hydrogens, q = formal charge):
//
//   not a candidate: an element other than C, N, O, P, S, As, Se, Te (boron
//     with its empty orbital never counts, as in the peer toolkits, so borole
//     and borepin are not aromatic); d > 3; a triple bond (benzyne); more
//     than one double bond; a valence above the element's lowest standard
//     one (valence.h), such as the S(=O) of a cyclic sulfinamide;
//   a double bond to a ring neighbour (a ring bond): 1 (also N+, O+, S+ as in
//     pyridinium and pyrylium);
//   an exocyclic double bond: 0 when the partner is more electronegative
//     (Pauling; C=O, C=N, C=S as in 2-pyridone and quinones), else 1 (C=C);
//   no double bond: C- 2, C+ 0 (cyclopentadienide, tropylium); N, P, As with
//     d = 3 2 (pyrrole, phosphole) and N- with d = 2 2; O, S, Se, Te with
//     d = 2 2 (furan, thiophene, selenophene); any other such atom is not a
//     candidate.
//
// A ring (or fused union) is aromatic when all its atoms are candidates and
// the sum of their electrons is 4n + 2. Unions join rings that share exactly
// one bond (ortho- and peri-fused), never bridged ones. The per-model switches below narrow
// this down.
struct Rules {
  unsigned min_size = 3;
  unsigned max_size = std::numeric_limits<unsigned>::max();
  unsigned max_union = 4;       // rings in a fused union; 1 = single rings only
  bool exo_counts = true;       // exocyclic double bonds give 0 or 1; else disqualify
  bool charged_carbon = true;   // C+ and C- (tropylium, cyclopentadienide)
  bool other_ions = true;       // N+, O+, S+, N- and the like
  bool donors_in_five = false;  // two-electron donors only in rings of 5
  bool alternating = false;     // only atoms with one double bond, a ring bond
  bool double_in_ring = false;  // a double bond counts only inside the ring or union
  bool propagate = false;       // ... or when it is already aromatic, repeated
};

// Model 2: everything above, fused unions of up to four rings.
// Model 1: as 2, but exocyclic double bonds disqualify (2-pyridone and
//   thiones are not aromatic).
// Model 3 (Tripos): single rings of 5 or 6 atoms; exocyclic double bonds and
//   charged carbon disqualify; N+ and O+ with a ring double bond count.
// Model 4 (force field, arguments max ring size and propagation): single
//   rings of 5 to `arg` atoms (6 when 0); a double bond counts only when it
//   is a bond of the ring itself or, with the flag, already aromatic (applied
//   until nothing changes, so fused benzenoids are aromatic in any Kekulé
//   form); two-electron donors only in 5-membered rings; exocyclic double
//   bonds and every charged atom disqualify.
// Model 5 (MDL): only atoms with exactly one double bond, and that a ring
//   bond, count (1 each): rings and fused unions of up to four rings of
//   alternating single and double bonds with 4n + 2 atoms. Lone-pair donors,
//   exocyclic double bonds and ions without a ring double bond never count.
//   Which ring of a fused system holds a given double bond does not matter,
//   so every Kekulé form of pyrene or naphthalene gives the same answer.
bool RulesFor(const QvAromaticityModel& model, Rules& rules) {
  switch (model.model) {
    case 1:
      rules.exo_counts = false;
      return true;
    case 2:
      return true;
    case 3:
      rules.min_size = 5;
      rules.max_size = 6;
      rules.max_union = 1;
      rules.exo_counts = rules.charged_carbon = false;
      return true;
    case 4:
      rules.min_size = 5;
      rules.max_size = model.arg ? model.arg : 6;
      rules.max_union = 1;
      rules.exo_counts = rules.charged_carbon = rules.other_ions = false;
      rules.donors_in_five = rules.double_in_ring = true;
      rules.propagate = model.flag;
      return true;
    case 5:
      rules.alternating = true;
      return true;
    default:
      return false;
  }
}

double Electronegativity(unsigned atomic_num) {
  switch (atomic_num) {
    case 6: return 2.55;
    case 7: return 3.04;
    case 8: return 3.44;
    case 9: return 3.98;
    case 15: return 2.19;
    case 16: return 2.58;
    case 17: return 3.16;
    case 33: return 2.18;
    case 34: return 2.55;
    case 35: return 2.96;
    case 52: return 2.10;
    case 53: return 2.66;
    default: return 0.0;
  }
}

bool Candidate(unsigned z) {
  switch (z) {
    case 6: case 7: case 8: case 15: case 16: case 33: case 34: case 52: return true;
    default: return false;
  }
}

constexpr int kNotCandidate = -1;

struct AtomPi {
  int electrons = kNotCandidate;
  unsigned double_bond = kQvNoPos;  // its ring double bond, if any
};

// The perceiver's arrays, kept per thread for the molecules that follow (a
// read perceives every record). Asked for once, through a call: a
// thread-local object of a shared library named in a loop costs a call into
// the dynamic linker at each use.
struct PerceiverWork {
  std::vector<unsigned> orders;
  std::vector<AtomPi> pi;
  std::vector<const QvRingPositions*> rings;
  // Bytes, which are cheaper to fill and test than bits.
  std::vector<char> arom_atom, arom_bond, in_set;
};

[[gnu::noinline]] PerceiverWork& ThreadPerceiverWork() {
  thread_local PerceiverWork work;
  return work;
}

template <class T>
void Grow(std::vector<T>& v, std::size_t n) {
  if (v.size() < n) v.resize(n);
}

class Perceiver {
 public:
  // Perceives ring membership first when the molecule has none, from the
  // same view.
  Perceiver(QvMolBase& mol, const Rules& rules)
      : g_(mol), rules_(rules), w_(ThreadPerceiverWork()), orders_(w_.orders), pi_(w_.pi), rings_(w_.rings),
        arom_atom_(w_.arom_atom), arom_bond_(w_.arom_bond), in_set_(w_.in_set) {
    // Orders and electrons are written for every bond and atom before they
    // are read, and Accept and AnyBondShared leave `in_set_` clear: these only
    // ever grow.
    Grow(orders_, g_.NumBonds());
    Grow(pi_, g_.NumAtoms());
    Grow(in_set_, g_.NumBonds());
    rings_.clear();
    arom_atom_.assign(g_.NumAtoms(), false);
    arom_bond_.assign(g_.NumBonds(), false);
    if (!mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(mol, g_);
    bool unresolved = false;
    for (unsigned b = 0; b < g_.NumBonds(); ++b) {
      orders_[b] = g_.Bond(b)->GetOrder();
      unresolved = unresolved || orders_[b] == kQvAromaticOrder;
    }
    if (unresolved) QvKekulizeOrders(g_, orders_);
    bool candidates = false;
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) {
      pi_[a] = Classify(a);
      candidates = candidates || pi_[a].electrons != kNotCandidate;
    }
    // Only rings of candidates count: without any, no ring is looked for.
    if (candidates)
      for (const QvRingPositions& ring : QvFindSSSRPositions(g_)) AddRing(ring);
  }

  void Run() {
    for (bool changed = true; changed;) {
      changed = false;
      for (const QvRingPositions* ring : rings_)
        if (!Done(*ring) && Accept(ring->atoms, ring->bonds)) changed = Mark(ring->atoms, ring->bonds) || changed;
      changed = changed && rules_.propagate;
    }
    if (rules_.max_union > 1) TryUnions();
  }

  // Every atom is in the view, and every bond but those with an empty end:
  // each record's flag is written once.
  void Write(QvMolBase& mol) const {
    if (g_.NumBonds() != mol.NumBonds())
      for (QvBondBase& bond : mol.GetBonds()) bond.SetAromatic(false);
    const char* flag = arom_atom_.data();
    for (QvAtomBase* atom : g_.Atoms()) atom->SetAromatic(*flag++);
    flag = arom_bond_.data();
    for (QvBondBase* bond : g_.Bonds()) bond->SetAromatic(*flag++);
  }

 private:
  AtomPi Classify(unsigned a) const {
    const QvAtomBase& atom = *g_.Atom(a);
    AtomPi out;
    // Most atoms of most molecules are in no ring: asked first.
    if (!atom.IsInRing()) return out;
    const unsigned z = atom.GetAtomicNum();
    const int q = atom.GetFormalCharge();
    const unsigned d = g_.Degree(a) + atom.GetImplicitHCount();
    if (!Candidate(z) || d > 3 || Hypervalent(atom, a)) return out;
    if (q != 0 && !(z == 6 ? rules_.charged_carbon : rules_.other_ions)) return out;
    unsigned doubles = 0, exo_partner = kQvNoPos;
    for (const auto& arc : g_.Arcs(a)) {
      const unsigned order = orders_[arc.bond];
      if (order >= 3) return out;
      if (order != 2) continue;
      ++doubles;
      if (g_.Bond(arc.bond)->IsInRing()) out.double_bond = arc.bond;
      else exo_partner = arc.nbr;
    }
    if (doubles > 1) return {};
    out.electrons = Electrons(z, q, d, out.double_bond != kQvNoPos, exo_partner);
    return out;
  }

  // Above the lowest standard valence (S(IV) of a cyclic sulfinamide, P(V)):
  // the extra bond ties up the electrons a ring would need.
  bool Hypervalent(const QvAtomBase& atom, unsigned a) const {
    unsigned used = atom.GetImplicitHCount();
    for (const auto& arc : g_.Arcs(a)) used += orders_[arc.bond];
    const auto valences = QvStandardValences(atom.GetAtomicNum(), atom.GetFormalCharge());
    return !valences.empty() && used > valences.front();
  }

  int Electrons(unsigned z, int q, unsigned d, bool ring_double, unsigned exo_partner) const {
    if (ring_double) return 1;
    if (rules_.alternating) return kNotCandidate;
    if (exo_partner != kQvNoPos) {
      if (!rules_.exo_counts) return kNotCandidate;
      return Electronegativity(g_.Atom(exo_partner)->GetAtomicNum()) > Electronegativity(z) ? 0 : 1;
    }
    return LonePairOrVacancy(z, q, d);
  }

  static int LonePairOrVacancy(unsigned z, int q, unsigned d) {
    switch (z) {
      case 6: return q == -1 ? 2 : q == 1 ? 0 : kNotCandidate;
      case 7: case 15: case 33: return (q == 0 && d == 3) || (q == -1 && d == 2) ? 2 : kNotCandidate;
      case 8: case 16: case 34: case 52: return q == 0 && d == 2 ? 2 : kNotCandidate;
      default: return kNotCandidate;
    }
  }

  void AddRing(const QvRingPositions& ring) {
    if (ring.size() < rules_.min_size || ring.size() > rules_.max_size) return;
    for (const unsigned a : ring.atoms) {
      if (pi_[a].electrons == kNotCandidate) return;
      if (rules_.donors_in_five && pi_[a].electrons == 2 && ring.size() != 5) return;
    }
    rings_.push_back(&ring);
  }

  bool Done(const QvRingPositions& ring) const {
    return std::all_of(ring.bonds.begin(), ring.bonds.end(), [this](unsigned b) { return arom_bond_[b]; });
  }

  bool Accept(const std::vector<unsigned>& atoms, const std::vector<unsigned>& bonds) {
    for (const unsigned b : bonds) in_set_[b] = true;
    int sum = 0;
    bool ok = true;
    for (const unsigned a : atoms) {
      const unsigned dbl = pi_[a].double_bond;
      if (rules_.double_in_ring && dbl != kQvNoPos && !in_set_[dbl] && !(rules_.propagate && arom_bond_[dbl]))
        ok = false;
      sum += pi_[a].electrons;
    }
    for (const unsigned b : bonds) in_set_[b] = false;
    return ok && sum >= 2 && (sum - 2) % 4 == 0;
  }

  bool Mark(const std::vector<unsigned>& atoms, const std::vector<unsigned>& bonds) {
    bool changed = false;
    for (const unsigned a : atoms) {
      changed = changed || !arom_atom_[a];
      arom_atom_[a] = true;
    }
    for (const unsigned b : bonds) {
      changed = changed || !arom_bond_[b];
      arom_bond_[b] = true;
    }
    return changed;
  }

  // Connected sets of 2 to max_union fused candidate rings, each
  // tested as one perimeter-and-all system: azulene (5 + 7) is aromatic only
  // as the union of its rings.
  void TryUnions() {
    if (rings_.size() < 2 || !AnyBondShared()) return;
    const std::vector<std::vector<unsigned>> fused = OrthoFused();
    std::set<std::vector<unsigned>> level;
    for (unsigned r = 0; r < rings_.size(); ++r)
      if (!fused[r].empty()) level.insert({r});
    for (unsigned size = 2; size <= rules_.max_union && !level.empty(); ++size) {
      std::set<std::vector<unsigned>> next;
      for (const auto& subset : level)
        for (const unsigned member : subset)
          for (const unsigned other : fused[member]) {
            if (std::find(subset.begin(), subset.end(), other) != subset.end()) continue;
            std::vector<unsigned> grown = subset;
            grown.insert(std::upper_bound(grown.begin(), grown.end(), other), other);
            next.insert(std::move(grown));
          }
      for (const auto& subset : next) TryUnion(subset);
      level = std::move(next);
    }
  }

  // Whether two candidate rings share a bond: without, no union is fused
  // (most molecules with several rings have them apart).
  bool AnyBondShared() {
    bool shared = false;
    for (const QvRingPositions* ring : rings_)
      for (const unsigned b : ring->bonds) {
        shared = shared || in_set_[b];
        in_set_[b] = true;
      }
    for (const QvRingPositions* ring : rings_)
      for (const unsigned b : ring->bonds) in_set_[b] = false;
    return shared;
  }

  // For each ring, the rings that share exactly one bond with it. Rings that
  // share more (bridged systems) have no common planar perimeter and are
  // never joined.
  std::vector<std::vector<unsigned>> OrthoFused() const {
    std::vector<std::vector<unsigned>> rings_of_bond(g_.NumBonds());
    for (unsigned r = 0; r < rings_.size(); ++r)
      for (const unsigned b : rings_[r]->bonds) rings_of_bond[b].push_back(r);
    std::vector<std::vector<unsigned>> shared(rings_.size()), fused(rings_.size());
    for (const auto& rings : rings_of_bond)
      for (const unsigned a : rings)
        for (const unsigned b : rings)
          if (a != b) shared[a].push_back(b);
    for (unsigned r = 0; r < rings_.size(); ++r) {
      std::sort(shared[r].begin(), shared[r].end());
      for (size_t i = 0; i < shared[r].size(); ++i) {
        const bool once = (i == 0 || shared[r][i - 1] != shared[r][i]) &&
                          (i + 1 == shared[r].size() || shared[r][i + 1] != shared[r][i]);
        if (once) fused[r].push_back(shared[r][i]);
      }
    }
    return fused;
  }

  void TryUnion(const std::vector<unsigned>& subset) {
    if (std::all_of(subset.begin(), subset.end(), [this](unsigned r) { return Done(*rings_[r]); })) return;
    std::vector<unsigned> atoms, bonds;
    for (const unsigned r : subset) {
      atoms.insert(atoms.end(), rings_[r]->atoms.begin(), rings_[r]->atoms.end());
      bonds.insert(bonds.end(), rings_[r]->bonds.begin(), rings_[r]->bonds.end());
    }
    for (auto* list : {&atoms, &bonds}) {
      std::sort(list->begin(), list->end());
      list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    if (Accept(atoms, bonds)) Mark(atoms, bonds);
  }

  QvGraphView g_;
  Rules rules_;
  PerceiverWork& w_;
  std::vector<unsigned>& orders_;
  std::vector<AtomPi>& pi_;
  // The candidate rings among this thread's smallest rings, which stay while
  // the perceiver, which asks for no others, runs.
  std::vector<const QvRingPositions*>& rings_;
  std::vector<char>& arom_atom_;
  std::vector<char>& arom_bond_;
  std::vector<char>& in_set_;
};

}  // namespace

void QvPerceiveAromaticity(QvMolBase& mol, const QvAromaticityModel& model) {
  Rules rules;
  const bool known = RulesFor(model, rules);
  if ((!known || mol.NumBonds() == 0) && !mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(mol);
  if (!known) {
    for (QvAtomBase& atom : mol.GetAtoms()) atom.SetAromatic(false);
    for (QvBondBase& bond : mol.GetBonds()) bond.SetAromatic(false);
    mol.SetPerceived(QvPerceivedAromaticity, false);
    return;
  }
  if (mol.NumBonds() == 0) {
    // No ring, so no aromatic atom: what the full pass would write.
    for (QvAtomBase& atom : mol.GetAtoms()) atom.SetAromatic(false);
    mol.SetPerceived(QvPerceivedAromaticity, true);
    return;
  }
  Perceiver perceiver(mol, rules);
  perceiver.Run();
  perceiver.Write(mol);
  mol.SetPerceived(QvPerceivedAromaticity, true);
}

void QvPerceiveAromaticity(QvMolBase& mol, unsigned model) {
  QvAromaticityModel selected;
  selected.model = model;
  if (model == 4) {
    selected.arg = 6;
    selected.flag = true;
  }
  QvPerceiveAromaticity(mol, selected);
}

}  // namespace Tamrin
