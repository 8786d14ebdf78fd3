// Neighbour walks that are safe on molecules still being built: a bond whose
// other end is empty (a ring closure not yet closed) has no neighbour there,
// where QvAtomBase::GetAtoms would hand out a null reference.
#pragma once

#include "tamrin/model/atombase.h"
#include "tamrin/model/bondbase.h"

namespace Tamrin {

// Calls f(QvAtomBase&) for the other atom of each undeleted bond of `atom`,
// in bond-list order, skipping bonds without one.
template <class F>
void QvForEachNbr(const QvAtomBase& atom, F f) {
  for (const QvBondBase& bond : atom.GetBonds())
    if (QvAtomBase* nbr = bond.GetNbr(&atom)) f(*nbr);
}

// How many such neighbours there are.
inline unsigned QvNbrCount(const QvAtomBase& atom) {
  unsigned n = 0;
  QvForEachNbr(atom, [&n](const QvAtomBase&) { ++n; });
  return n;
}

}  // namespace Tamrin
