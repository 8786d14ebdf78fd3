#include "tamrin/perception/atomcompletion.h"

#include "tamrin/model/molbase.h"
#include "tamrin/streams/perceptionhooks.h"

namespace Tamrin {

namespace {

[[maybe_unused]] const QvPerceptionPass previous_atom_completion =
    QvRegisterPerceptionPass(QvPerceptionStep::AtomCompletion, QvCompleteAtoms);

}  // namespace

void QvCompleteAtoms(QvMolBase& mol) {
  if (!mol.GetAtom(QvHasAtomicNum{1})) return;
  for (QvAtomBase& atom : mol.GetAtoms())
    if (atom.GetImplicitHCount() != 0) atom.SetImplicitHCount(0);
}

}  // namespace Tamrin
