#include "tamrin/perception/atomcompletion.h"

#include "tamrin/model/molbase.h"

namespace Tamrin {

void QvCompleteAtoms(QvMolBase& mol) {
  if (!mol.GetAtom(QvHasAtomicNum{1})) return;
  for (QvAtomBase& atom : mol.GetAtoms())
    if (atom.GetImplicitHCount() != 0) atom.SetImplicitHCount(0);
}

}  // namespace Tamrin
