// Molecules to and from bytes in memory, through one input and one output
// molecule stream per thread (made on a thread's first call, destroyed when
// it exits), so that threads convert independently.
#pragma once

#include <string>
#include <string_view>

#include "tamrin/streams/format.h"

namespace Tamrin {

class QvMolBase;

// Reads the first molecule of `bytes` (gzip-compressed with `gzip`) in the
// given format and input flavor; a multi-conformer `mol` is read as one.
// `mol` is emptied first, also when the read fails before it starts. False
// when the format cannot be read, the flavor is invalid for it, or no
// molecule could be read.
bool QvReadMoleculeFromBytes(QvMolBase& mol, QvFormat format, unsigned flavor, bool gzip, std::string_view bytes);

// Writes `mol` in the given format and output flavor (a multi-conformer
// molecule with several conformers as such) into `bytes`, as one gzip member
// with `gzip`. False, with `bytes` empty, on any failure.
bool QvWriteMoleculeToBytes(QvFormat format, unsigned flavor, bool gzip, const QvMolBase& mol, std::string& bytes);
// The same; the empty string on failure.
std::string QvWriteMoleculeToBytes(QvFormat format, unsigned flavor, bool gzip, const QvMolBase& mol);

}  // namespace Tamrin
