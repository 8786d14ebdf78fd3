#include "tamrin/perception/residues.h"

#include "tamrin/model/molbase.h"
#include "tamrin/model/perceived.h"
#include "tamrin/model/residue.h"

namespace Tamrin {

namespace {

bool Bonded(const QvMolBase& mol, const QvResidue& a, const QvResidue& b, const QvAtomBase& atom_b) {
  for (const QvBondBase* bond : atom_b.BondList()) {
    if (bond->IsDeleted()) continue;
    const QvResidue* other = QvGetResidue(*bond->GetNbr(&atom_b));
    if (other && other->SameResidue(a)) return true;
  }
  // Atoms of one residue need not all be bonded across; look at the whole
  // residue `b` only when the first atom had no such bond.
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const QvResidue* res = QvGetResidue(atom);
    if (!res || &atom == &atom_b || !res->SameResidue(b)) continue;
    for (const QvBondBase* bond : atom.BondList()) {
      if (bond->IsDeleted()) continue;
      const QvResidue* other = QvGetResidue(*bond->GetNbr(&atom));
      if (other && other->SameResidue(a)) return true;
    }
  }
  return false;
}

}  // namespace

void QvPerceiveResidueHierarchy(QvMolBase& mol, bool force) {
  if (!force && mol.HasPerceived(QvPerceivedResidues)) return;
  bool any = false;
  QvResidue last;  // a copy: rewriting an atom's residue frees the old one
  int fragment = 1;
  int serial = 0;
  for (QvAtomBase& atom : mol.GetAtoms()) {
    const QvResidue* res = QvGetResidue(atom);
    if (!res) continue;
    QvResidue updated = *res;
    updated.hetero = !QvIsStandardResidueName(updated.name);
    if (any && !updated.SameResidue(last)) {
      const bool new_chain = updated.chain != last.chain || updated.model != last.model;
      const bool polymer_ends = updated.hetero && !last.hetero && !Bonded(mol, last, updated, atom);
      if (new_chain || polymer_ends) {
        ++fragment;
        ++serial;
      }
    }
    updated.fragment = fragment;
    if (updated.serial <= 0) updated.serial = serial + 1;
    serial = updated.serial;
    const bool changed = !(updated == *res);
    last = updated;
    any = true;
    if (changed) QvSetResidue(atom, std::move(updated));
  }
  mol.SetPerceived(QvPerceivedResidues, true);
}

}  // namespace Tamrin
