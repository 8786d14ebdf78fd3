// Shared by the perception tests: molecules from SMILES in the state a pass
// starts from, random re-orderings of a molecule, and small counts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/stereo.h"

namespace perception_test {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

// Adds the molecule of `smiles` to `mol` through the SMILES parser, aromatic
// bonds left at order 5 and what the passes under test establish (ring flags,
// aromatic bond flags, perception bits) cleared, so that each pass starts from
// nothing. Atoms written in lower case stay aromatic.
inline bool ParseInto(QvMolBase& mol, const std::string& smiles) {
  Tamrin::QvSmilesParseOptions options;
  options.noKekulization = true;
  options.quiet = true;
  if (!Tamrin::QvParseSmiles(mol, smiles, options)) return false;
  for (QvAtomBase& atom : mol.GetAtoms()) atom.SetInRing(false);
  for (QvBondBase& bond : mol.GetBonds()) {
    bond.SetInRing(false);
    bond.SetAromatic(false);
  }
  mol.ClearPerceived();
  return true;
}

// A molecule from `smiles`, kekulized; a parse or kekulization failure fails
// the calling test.
inline QvGraphMol Mol(const std::string& smiles) {
  QvGraphMol mol;
  EXPECT_TRUE(ParseInto(mol, smiles)) << smiles;
  EXPECT_TRUE(Tamrin::QvKekulize(mol)) << smiles;
  return mol;
}

// Names parametrised cases after their `name` field.
struct CaseName {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P>& info) const {
    return info.param.name;
  }
};

// The atom at list position `pos`.
inline QvAtomBase* AtomAt(const QvMolBase& mol, unsigned pos) { return mol.AtomList().at(pos); }

// Stereo is stored relative to atom indices, so a copy made atom by atom
// states it again in its own terms.
template <class CopyOf>
void CopyStereo(const std::vector<QvAtomBase*>& atoms, const std::vector<QvAtomBase*>& map, CopyOf copy_of,
                QvMolBase& out) {
  for (size_t i = 0; i < atoms.size(); ++i) {
    Tamrin::QvClearAtomStereo(*map[i]);
    if (!Tamrin::QvHasAtomStereo(*atoms[i])) continue;
    std::vector<const QvAtomBase*> nbrs, mapped;
    if (atoms[i]->GetExplicitDegree() == 3) nbrs.push_back(nullptr);
    for (const QvAtomBase& nbr : atoms[i]->GetAtoms()) nbrs.push_back(&nbr);
    for (const QvAtomBase* nbr : nbrs) mapped.push_back(nbr ? copy_of(nbr) : nullptr);
    EXPECT_TRUE(Tamrin::QvSetAtomStereo(*map[i], mapped, Tamrin::QvGetAtomStereo(*atoms[i], nbrs)));
  }
  for (const QvAtomBase* atom : atoms)
    for (const QvBondBase& bond : atom->GetBonds()) {
      if (bond.GetBgn() != atom || !Tamrin::QvHasBondStereo(bond)) continue;
      const QvAtomBase* ref_bgn = nullptr;
      const QvAtomBase* ref_end = nullptr;
      for (const QvAtomBase& nbr : bond.GetBgn()->GetAtoms())
        if (&nbr != bond.GetEnd()) ref_bgn = &nbr;
      for (const QvAtomBase& nbr : bond.GetEnd()->GetAtoms())
        if (&nbr != bond.GetBgn()) ref_end = &nbr;
      QvBondBase* copy = out.GetBond(copy_of(bond.GetBgn()), copy_of(bond.GetEnd()));
      const QvAtomBase* copy_bgn = copy_of(bond.GetBgn());
      // The copy's bond may run the other way.
      const bool same = copy->GetBgn() == copy_bgn;
      const QvAtomBase* a = ref_bgn ? copy_of(ref_bgn) : nullptr;
      const QvAtomBase* b = ref_end ? copy_of(ref_end) : nullptr;
      EXPECT_TRUE(Tamrin::QvSetBondStereo(*copy, same ? a : b, same ? b : a,
                                          Tamrin::QvGetBondStereo(bond, ref_bgn, ref_end)));
    }
}

// A copy of `mol` whose atoms and bonds are created in a random order and
// whose bonds have random directions; aromatic flags, ring flags and orders
// are copied. `map[i]` is the copy of the source atom at list position i.
inline QvGraphMol Permuted(const QvMolBase& mol, std::mt19937& rng, std::vector<QvAtomBase*>& map) {
  std::vector<QvAtomBase*> atoms;
  for (QvAtomBase* atom : mol.AtomList())
    if (!atom->IsDeleted()) atoms.push_back(atom);
  std::vector<unsigned> order(atoms.size());
  std::iota(order.begin(), order.end(), 0u);
  std::shuffle(order.begin(), order.end(), rng);
  QvGraphMol out;
  map.assign(atoms.size(), nullptr);
  for (const unsigned i : order) map[i] = out.NewAtom(*atoms[i]);
  std::vector<QvBondBase*> bonds;
  for (QvBondBase* bond : mol.BondList())
    if (!bond->IsDeleted()) bonds.push_back(bond);
  std::shuffle(bonds.begin(), bonds.end(), rng);
  const auto copy_of = [&](const QvAtomBase* atom) {
    return map[static_cast<size_t>(std::find(atoms.begin(), atoms.end(), atom) - atoms.begin())];
  };
  for (const QvBondBase* bond : bonds) {
    QvAtomBase* a = copy_of(bond->GetBgn());
    QvAtomBase* b = copy_of(bond->GetEnd());
    if (rng() & 1) std::swap(a, b);
    QvBondBase* copy = out.NewBond(a, b, bond->GetOrder());
    copy->SetAromatic(bond->IsAromatic());
    copy->SetInRing(bond->IsInRing());
  }
  CopyStereo(atoms, map, copy_of, out);
  return out;
}

// A strip of `rings` linearly fused hexagons (polyacene), every atom
// aromatic with the hydrogens it needs and every bond of `order`.
inline void Polyacene(QvMolBase& mol, unsigned rings, unsigned order) {
  std::vector<QvAtomBase*> top, bottom;
  for (unsigned i = 0; i <= rings; ++i) {
    top.push_back(mol.NewAtom(6));
    bottom.push_back(mol.NewAtom(6));
    mol.NewBond(top[i], bottom[i], order);
    if (i > 0) {
      for (auto* side : {&top, &bottom}) {
        QvAtomBase* middle = mol.NewAtom(6);
        middle->SetImplicitHCount(1);
        mol.NewBond((*side)[i - 1], middle, order);
        mol.NewBond(middle, (*side)[i], order);
      }
    }
  }
  for (QvAtomBase* end : {top.front(), bottom.front(), top.back(), bottom.back()}) end->SetImplicitHCount(1);
  for (QvAtomBase& atom : mol.GetAtoms()) atom.SetAromatic(true);
}

inline unsigned CountAromaticAtoms(const QvMolBase& mol) {
  unsigned n = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) n += atom.IsAromatic();
  return n;
}

}  // namespace perception_test
