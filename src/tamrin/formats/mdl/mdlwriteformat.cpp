// Plugs the molfile writer into the molecule streams: MDL writes the
// connection table, SDF adds the data items and "$$$$".
#include "tamrin/formats/mdl/mdl.h"
#include "tamrin/streams/formatio.h"
#include "tamrin/streams/molio.h"

namespace Tamrin {

namespace {

int WriteMDL(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  WriteMDLRecord(out, mol, flavor);
  return QvWriteOk;
}

int WriteSDF(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  WriteMDLRecord(out, mol, flavor);
  return WriteSDData(out, mol);
}

const QvFormatRegistration mdl_registration({QvFormat::MDL}, nullptr, WriteMDL);
const QvFormatRegistration sdf_registration({QvFormat::SDF}, nullptr, WriteSDF);

}  // namespace

}  // namespace Tamrin
