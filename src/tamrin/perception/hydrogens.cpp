#include "tamrin/perception/hydrogens.h"

#include <vector>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/neighbours.h"
#include "tamrin/perception/stereo.h"

namespace Tamrin {

namespace {

// A configuration captured before the hydrogen goes, in terms of neighbour
// lists in which the hydrogen becomes null afterwards.
struct SavedStereo {
  QvChirality chirality = QvChirality::None;
  std::vector<const QvAtomBase*> nbrs;
  struct Bond {
    QvBondBase* bond;
    const QvAtomBase* ref_bgn;
    const QvAtomBase* ref_end;
    QvBondConfig config;
  };
  std::vector<Bond> bonds;
};

const QvAtomBase* AnyOtherNbr(const QvAtomBase& end, const QvAtomBase& other) {
  const QvAtomBase* found = nullptr;
  QvForEachNbr(end, [&](const QvAtomBase& nbr) {
    if (&nbr != &other && !found) found = &nbr;
  });
  return found;
}

SavedStereo Save(QvAtomBase& heavy) {
  SavedStereo saved;
  if (QvHasAtomStereo(heavy)) {
    if (QvNbrCount(heavy) == 3) saved.nbrs.push_back(nullptr);
    QvForEachNbr(heavy, [&saved](const QvAtomBase& nbr) { saved.nbrs.push_back(&nbr); });
    saved.chirality = QvGetAtomStereo(heavy, saved.nbrs);
  }
  for (QvBondBase& bond : heavy.GetBonds()) {
    if (!QvHasBondStereo(bond) || !bond.GetBgn() || !bond.GetEnd()) continue;
    const QvAtomBase* ref_bgn = AnyOtherNbr(*bond.GetBgn(), *bond.GetEnd());
    const QvAtomBase* ref_end = AnyOtherNbr(*bond.GetEnd(), *bond.GetBgn());
    saved.bonds.push_back({&bond, ref_bgn, ref_end, QvGetBondStereo(bond, ref_bgn, ref_end)});
  }
  return saved;
}

void Restore(QvAtomBase& heavy, const QvAtomBase* h, SavedStereo& saved) {
  const auto unfold = [h](const QvAtomBase* atom) { return atom == h ? nullptr : atom; };
  if (QvHasAtomStereo(heavy)) {
    for (const QvAtomBase*& nbr : saved.nbrs) nbr = unfold(nbr);
    QvClearAtomStereo(heavy);
    QvSetAtomStereo(heavy, saved.nbrs, saved.chirality);
  }
  for (const SavedStereo::Bond& b : saved.bonds) {
    QvClearBondStereo(*b.bond);
    QvSetBondStereo(*b.bond, unfold(b.ref_bgn), unfold(b.ref_end), b.config);
  }
}

}  // namespace

QvAtomBase* QvHydrogenFoldTarget(const QvAtomBase& h, bool keep_isotopic) {
  if (!h.IsHydrogen() || h.GetFormalCharge() != 0 || h.GetMapIdx() != 0 || *h.GetName() != '\0') return nullptr;
  if ((keep_isotopic && h.GetIsotope() != 0) || h.GetExplicitDegree() != 1) return nullptr;
  const QvBondBase* bond = &*h.GetBonds().begin();
  QvAtomBase* heavy = bond->GetNbr(&h);
  if (!heavy || bond->GetOrder() != 1 || heavy->IsHydrogen() || heavy->GetAtomicNum() == 0) return nullptr;
  return heavy;
}

unsigned QvSuppressHydrogens(QvMolBase& mol, bool keep_isotopic) {
  unsigned kept_bits = 0;
  for (unsigned bit = 1; bit != 0; bit <<= 1)
    if (mol.HasPerceived(bit)) kept_bits |= bit;
  std::vector<QvAtomBase*> hydrogens;
  for (QvAtomBase& atom : mol.GetAtoms(QvHasAtomicNum{1})) hydrogens.push_back(&atom);
  unsigned folded = 0;
  for (QvAtomBase* h : hydrogens) {
    QvAtomBase* heavy = QvHydrogenFoldTarget(*h, keep_isotopic);
    if (!heavy || heavy->GetImplicitHCount() >= kQvMaxImplicitHydrogens) continue;
    SavedStereo saved = Save(*heavy);
    mol.DeleteAtom(h);
    heavy->SetImplicitHCount(heavy->GetImplicitHCount() + 1);
    Restore(*heavy, h, saved);
    ++folded;
  }
  mol.SetPerceived(kept_bits, true);
  return folded;
}

}  // namespace Tamrin
