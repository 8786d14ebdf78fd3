// FASTA in the molecule streams (fasta.h describes the records).
#include <span>
#include <string>

#include "pellar/qvstream.h"
#include "tamrin/formats/fasta/fasta.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

int Write(qvmolostream& out, const QvMolBase& mol, unsigned) {
  const std::string record = QvFASTARecord(mol);
  return out.GetStream().write(record.data(), record.size()) ? QvWriteOk : QvWriteStreamFailed;
}

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::FASTA,
                                      .description = "FASTA",
                                      .extensions = "fasta seq",
                                      .readable = true,
                                      .writable = true,
                                      .iflavor_valid = [](unsigned part) { return part <= 3; },
                                      .oflavor_valid = [](unsigned word) { return word == 0; },
                                      .read = QvFASTAReadFxn,
                                      .write = Write,
                                      // The alphabet, from the reader's two options.
                                      .reader_options = [](unsigned flavor) { return flavor & 0x3; }}};

}  // namespace

std::span<const QvFormatInfo> QvFASTAFormats() { return kRecords; }

}  // namespace Tamrin
