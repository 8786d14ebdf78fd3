#include "tamrin/perception/implicith.h"

#include "tamrin/model/molbase.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/valence.h"

namespace Tamrin {

namespace {

// Twice the bond-order sum, so that unresolved aromatic bonds count 1.5.
unsigned DoubledBondOrderSum(const QvAtomBase& atom) {
  unsigned sum = 0;
  for (const QvBondBase& bond : atom.GetBonds()) {
    if (!bond.GetNbr(&atom)) continue;
    sum += bond.GetOrder() == kQvAromaticOrder ? 3 : 2 * bond.GetOrder();
  }
  return sum;
}

}  // namespace

bool QvAssignImplicitHCount(QvAtomBase& atom) {
  if (QvStandardValences(atom.GetAtomicNum(), atom.GetFormalCharge()).empty()) return false;
  const unsigned used = DoubledBondOrderSum(atom) / 2;
  const unsigned target = QvTargetValence(atom.GetAtomicNum(), atom.GetFormalCharge(), used);
  if (target == 0 && used > 0) return false;
  atom.SetImplicitHCount(target - used);
  return true;
}

void QvAssignImplicitHydrogens(QvMolBase& mol) {
  for (QvAtomBase& atom : mol.GetAtoms()) QvAssignImplicitHCount(atom);
}

}  // namespace Tamrin
