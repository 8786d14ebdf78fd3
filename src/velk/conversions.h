// One molecule to and from text or bytes in memory, in the formats of the
// Tamrin toolkit's molecule streams (CUBE and FCHK take no part). Format and
// flavor are the streams' unsigned codes; flavor 0 means the format's default.
// Only a format that cannot be read or written at all is an error: a molecule
// that fails to parse gives false, one that fails to write the empty string.
#pragma once

#include <string>

namespace Tamrin {
class QvMolBase;
}

namespace velk {

// The format code for an extension name: sdf, .sdf, SDF and sdf.gz alike.
unsigned resolve_format(const std::string& name);

bool mol_from_string(Tamrin::QvMolBase& mol, const std::string& data, unsigned format, unsigned flavor);
bool mol_from_bytes(Tamrin::QvMolBase& mol, const std::string& data, unsigned format, unsigned flavor,
                    bool gzip);
std::string mol_to_string(const Tamrin::QvMolBase& mol, unsigned format, unsigned flavor);
std::string mol_to_bytes(const Tamrin::QvMolBase& mol, unsigned format, unsigned flavor, bool gzip);

}  // namespace velk
