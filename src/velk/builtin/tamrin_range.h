// Reading one stretch of a large molecule file, so that many processes can
// share the file without any of them reading all of it.
//
// A stretch [begin, end) of bytes owns the records that start in it, with
// each end moved to a record boundary: the first boundary at or after the
// offset that the reader can prove from the data near it. Neighbouring
// stretches move their shared end by the same rule, so a set of stretches
// that covers a file gives every record to exactly one of them, however
// the offsets fall. Where no boundary can be proved near an offset (a
// record longer than the look-back), the end moves on to the next one
// that can, and the record goes to the stretch before.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tamrin/streams/format.h"
#include "velk/formathandler.h"

namespace Pellar {
class qvistream;
}

namespace velk::builtin {

// Whether stretches of `format` can be read: SD, MOL2, PDB, XYZ and the
// one-line-per-record formats. Gzip files have no stretches.
bool RangeReadable(Tamrin::QvFormat format);

// The record boundary that an offset moves to (see above); `flavor` is the
// input flavor the records are read with. XYZ records carry no mark of their
// own, so its boundaries are counted from the start of the input.
std::uint64_t RecordBoundary(Pellar::qvistream& in, Tamrin::QvFormat format, unsigned flavor, std::uint64_t offset);

// The records of the plain file at `path` that the stretch [begin, end)
// owns, read in `format` with its default input flavor. Only the stretch
// and a look-back before each end are read.
std::unique_ptr<MolSource> OpenRangeSource(const std::string& path, Tamrin::QvFormat format, std::uint64_t begin,
                                           std::uint64_t end);

// The records, as the exact bytes of the file, that the stretch [begin, end)
// of the plain file at `path` owns (as OpenRangeSource reads them), or all
// the records of the file when `whole` (gzip files too, decompressed). Cut by
// the format's tokenizer; runs of blank lines, which hold no record, are left
// out. FormatError for a format without a tokenizer, or when the bytes from
// some point on cannot be cut into records.
std::vector<std::string> RangeRecords(const std::string& path, Tamrin::QvFormat format, std::uint64_t begin,
                                      std::uint64_t end, bool whole);

}  // namespace velk::builtin
