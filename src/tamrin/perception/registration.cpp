// Plugs the passes of this folder into the reading steps of the molecule
// streams (tamrin/streams/perceptionhooks.h).
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/perceptionhooks.h"

namespace Tamrin {

namespace {

void PerceiveAromaticity(QvMolBase& mol, const QvAromaticityModel& model) { QvPerceiveAromaticity(mol, model); }

[[maybe_unused]] const QvPerceptionPass previous_rings =
    QvRegisterPerceptionPass(QvPerceptionStep::Rings, QvPerceiveRings);
[[maybe_unused]] const QvPerceptionPass previous_hydrogens =
    QvRegisterPerceptionPass(QvPerceptionStep::ImplicitHydrogens, QvAssignImplicitHydrogens);
[[maybe_unused]] const QvAromaticityPass previous_aromaticity = QvRegisterAromaticityPass(PerceiveAromaticity);

}  // namespace

}  // namespace Tamrin
