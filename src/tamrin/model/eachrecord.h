// Loops over the atoms or bonds of a molecule for passes that run over every
// record of every molecule read: the records of the toolkit's own molecules
// (QvMolBaseImpl, which readers fill) go to the callback as their final
// classes, so that what it asks of them and sets on them needs no virtual
// call. Any other molecule's go as QvAtomBase and QvBondBase: the callback is
// a generic lambda. Deleted records are skipped, as GetAtoms and GetBonds do.
#pragma once

#include <type_traits>

#include "tamrin/model/atomimpl.h"
#include "tamrin/model/bondimpl.h"
#include "tamrin/model/molimpl.h"

namespace Tamrin {

template <class Mol, class F>
void QvForEachAtom(Mol& mol, F&& f) {
  using Atom = std::conditional_t<std::is_const_v<Mol>, const QvAtom, QvAtom>;
  const auto* impl = Sorvil::QvCast<QvMolBaseImpl>(&mol);
  if (!impl || impl->DeletedAtomCount() != 0) {
    for (auto& atom : mol.GetAtoms()) f(atom);
    return;
  }
  for (QvAtomBase* atom : impl->AtomList()) f(static_cast<Atom&>(*atom));
}

template <class Mol, class F>
void QvForEachBond(Mol& mol, F&& f) {
  using Bond = std::conditional_t<std::is_const_v<Mol>, const QvBond, QvBond>;
  const auto* impl = Sorvil::QvCast<QvMolBaseImpl>(&mol);
  if (!impl || impl->DeletedBondCount() != 0) {
    for (auto& bond : mol.GetBonds()) f(bond);
    return;
  }
  for (QvBondBase* bond : impl->BondList()) f(static_cast<Bond&>(*bond));
}

}  // namespace Tamrin
