// The MDL formats in the molecule streams: molfiles, SD files (a molfile,
// its data items and "$$$$" per record) and the molecule records of RD
// files, which are read like molfiles and not written.
#include <memory>
#include <span>

#include "tamrin/formats/mdl/mdl.h"
#include "tamrin/formats/mdl/sdftokenizer.h"
#include "tamrin/streams/formatinfo.h"
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

// The reader takes its options from the stream's flavor itself.
unsigned NoReaderOptions(unsigned) { return 0; }
bool ReaderFlavor(unsigned part) { return part <= 15; }
// At least one of the three bits that choose what is written.
bool WriterFlavor(unsigned word) { return (word & 0x70) != 0; }

std::unique_ptr<QvMolTokenizer> MakeSDFTokenizer(unsigned) { return std::make_unique<QvSDFTokenizer>(); }

// Input flavor bit: a record without atoms is a molecule too.
constexpr unsigned kKeepEmpty = 0x4;

constexpr QvFormatInfo Record(QvFormat code, const char* description, std::string_view extensions,
                              QvMolWriteFxn write, QvTokenizerFactory tokenizer) {
  return {.code = code,
          .description = description,
          .extensions = extensions,
          .readable = true,
          .writable = write != nullptr,
          .default_oflavor = write ? 0x4117u : 0x4017u,
          .iflavor_valid = ReaderFlavor,
          .oflavor_valid = write ? WriterFlavor : nullptr,
          .read = ReadMDLRecord,
          .write = write,
          .reader_options = NoReaderOptions,
          .tokenizer = tokenizer,
          .keep_empty_bit = kKeepEmpty,
          .combines_conformers = true};
}

constexpr QvFormatInfo kRecords[] = {
    Record(QvFormat::MDL, "MDL Mol", "mdl mol rxn", WriteMDL, nullptr),
    Record(QvFormat::SDF, "MDL SDF", "sdf sd", WriteSDF, MakeSDFTokenizer),
    Record(QvFormat::RDF, "MDL RDF", "rdf rd", nullptr, nullptr),
};

}  // namespace

std::span<const QvFormatInfo> QvMDLFormats() { return kRecords; }

}  // namespace Tamrin
