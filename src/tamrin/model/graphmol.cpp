#include "tamrin/model/graphmol.h"

#include "tamrin/model/mcmol.h"

namespace Tamrin {

QvGraphMol::QvGraphMol(const QvConfBase& conf) { QvCopyConf(Mol(), conf); }

}  // namespace Tamrin
