// QVB and QVZ: molecules as QvBinary v2 records (framing in
// sorvil/binary/qvbrecord.h; payload layouts in docs/qvb-payloads.md).
//
// A graph molecule is one QvMolBase record; a multi-conformer molecule, and
// every molecule written to QVZ, is one QvMCMolBase record, zstd-compressed
// in QVZ (zstdQvMCMolBase). Reading takes all three multi-conformer forms in
// either format.
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (the formats' records are in qvbformat.cpp); the functions here are the
// record readers and writers behind them and the byte-level entry points
// that pickling and the tests use.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sorvil/binary/qvbhandler.h"

namespace Pellar {
class qvistream;
}

namespace Tamrin {

class QvMCMolBase;
class QvMolBase;

// A multi-conformer molecule whose generic data has this tag set to true is
// written with half-float conformer coordinates (about 3 decimals at 10 Å).
inline constexpr const char* kQvHalfFloatConfsTag = "QvHalfFloatConformers";

// The read functions of molecule, conformer and data records.
const Sorvil::QvBinaryIOHandler& QvDefaultBinaryHandler();

// Plain: a graph molecule as a QvMolBase record, a multi-conformer one as a
// QvMCMolBase record. MultiConformer: always a QvMCMolBase record. Zstd: a
// zstdQvMCMolBase record.
enum class QvQVBForm { Plain, MultiConformer, Zstd };

// Appends the record of `mol`: a QvMolBase record for a graph molecule in
// Plain form, else a multi-conformer record (a graph molecule becomes one
// conformer). False, appending nothing, when the record cannot be made.
bool QvAppendQVBRecord(std::string& out, const QvMolBase& mol, QvQVBForm form);

// Reads the next top-level record of `in` into `mol`, which the caller has
// cleared; `buffer` is scratch kept between calls. Returns a QVBReturn. A
// QvMolBase record is read directly; any other record is read as a
// multi-conformer molecule whose first conformer `mol` receives, the others
// going to `more` (when not null) as graph molecules.
// `lost` (when given) tells whether the record's framing failed, leaving the
// input where no next record can be found.
Sorvil::QVBReturn QvReadQVBRecord(Pellar::qvistream& in, QvMolBase& mol, std::string& buffer,
                                  std::vector<std::unique_ptr<QvMolBase>>* more, bool* lost = nullptr);
// Any record into a multi-conformer molecule (a QvMolBase record gives one
// conformer).
Sorvil::QVBReturn QvReadQVBRecord(Pellar::qvistream& in, QvMCMolBase& mol, std::string& buffer,
                                  bool* lost = nullptr);

// Decompresses all of `in` by method name, "gz" or "zstd"; any other name,
// damaged data or output beyond kQvMaxInflated bytes gives false.
inline constexpr std::size_t kQvMaxInflated = std::size_t{1} << 28;
bool QvDecompress(std::string_view method, std::string_view in, std::string& out);

}  // namespace Tamrin
