// JSON in the molecule streams. The reader and writer are not built yet:
// the record holds what the streams need to know of the format until they
// are (its records can be cut without parsing; the tokenizer comes with
// them).
#include <span>

#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereoperception.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

// A JSON record holds atoms, bonds and coordinates but none of what is
// perceived from them.
void AfterRead(qvmolistream&, QvMolBase& mol, unsigned) {
  QvPerceiveRings(mol);
  QvPerceiveAromaticity(mol, QvAromaticityModel{2});
  QvPerceiveStereoFromCoords(mol);
}

bool Any(unsigned) { return true; }

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::JSON,
                                      .description = "JavaScript Object Notation",
                                      .extensions = "json",
                                      .readable = true,
                                      .writable = true,
                                      .default_oflavor = 0x4397,
                                      .iflavor_valid = Any,
                                      .oflavor_valid = Any,
                                      .conformer_records = true,
                                      .after_read = AfterRead}};

}  // namespace

std::span<const QvFormatInfo> QvJSONFormats() { return kRecords; }

}  // namespace Tamrin
