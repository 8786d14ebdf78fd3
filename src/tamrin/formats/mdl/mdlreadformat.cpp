// Plugs the MDL record reader into the molecule streams for molfiles, SD
// files and RD files (the writers register themselves elsewhere).
#include "tamrin/formats/mdl/mdl.h"
#include "tamrin/streams/formatio.h"

namespace Tamrin {

namespace {

const QvFormatRegistration registration({QvFormat::MDL, QvFormat::SDF, QvFormat::RDF}, ReadMDLRecord, nullptr);

}  // namespace

}  // namespace Tamrin
