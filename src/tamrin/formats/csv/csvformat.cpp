// CSV in the molecule streams.
#include <memory>
#include <span>

#include "tamrin/formats/csv/csv.h"
#include "tamrin/formats/csv/csvtokenizer.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

int WriteCSV(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  QvCSVWriteFxn(out, mol, flavor);
  return 0;
}

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvCSVTokenizer>(); }

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::CSV,
                                      .description = "Comma Separated Values",
                                      .extensions = "csv",
                                      .readable = true,
                                      .writable = true,
                                      .default_iflavor = 0x4001,
                                      .default_oflavor = 0x4001,
                                      .iflavor_valid = [](unsigned part) { return part <= 1; },
                                      .oflavor_valid = [](unsigned word) { return word == 1; },
                                      .read = QvCSVReadFxn,
                                      .write = WriteCSV,
                                      .tokenizer = MakeTokenizer,
                                      .combines_conformers = true}};

}  // namespace

std::span<const QvFormatInfo> QvCSVFormats() { return kRecords; }

}  // namespace Tamrin
