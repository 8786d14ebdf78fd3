// Small-molecule CIF blocks are recognised before they can be read: until
// they are, such a block is reported and passed over.
#include "tamrin/formats/cif/smallmolecule.h"

#include "sorvil/error/errorhandler.h"

namespace Tamrin {

bool QvReadSmallMoleculeBlock(const gemmi::cif::Block&, QvMolBase&, unsigned) {
  Sorvil::QvErrorHandler::Warning("Small-molecule CIF data blocks cannot be read yet");
  return false;
}

int QvWriteSmallMoleculeBlock(qvmolostream&, const QvMolBase&, unsigned) {
  Sorvil::QvErrorHandler::Warning("Small-molecule CIF data blocks cannot be written yet");
  return 14;
}

}  // namespace Tamrin
