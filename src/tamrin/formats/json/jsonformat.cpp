// JSON in the molecule streams: the CommonChem layout (json.h describes the
// records). A file is one document or one document per line; each molecule
// is a record.
#include <memory>
#include <span>
#include <string>

#include "pellar/qvstream.h"
#include "tamrin/formats/json/json.h"
#include "tamrin/model/mcmol.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

// A JSON record holds atoms, bonds and coordinates but none of what is
// perceived from them.
void AfterRead(qvmolistream&, QvMolBase& mol, unsigned) { QvFinishJSONMolecule(mol); }

template <class Mol>
int Write(qvmolostream& out, const Mol& mol, unsigned) {
  std::string text;
  if (!QvJSONWriteFxn(text, mol) || !out.GetStream().write(text.data(), text.size())) return QvWriteStreamFailed;
  return QvWriteOk;
}

bool Any(unsigned) { return true; }

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvJSONTokenizer>(); }

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::JSON,
                                      .description = "JavaScript Object Notation",
                                      .extensions = "json",
                                      .readable = true,
                                      .writable = true,
                                      .default_oflavor = 0x4397,
                                      .iflavor_valid = Any,
                                      .oflavor_valid = Any,
                                      .read = QvJSONReadFxn,
                                      .write = Write<QvMolBase>,
                                      .conformer_records = true,
                                      .read_conformers = QvJSONReadConformersFxn,
                                      .write_conformers = Write<QvMCMolBase>,
                                      .tokenizer = MakeTokenizer,
                                      .after_read = AfterRead,
                                      // The reader reports its own faults; what it leaves unread
                                      // is no record cut short.
                                      .atomless_tail_ends_input = true}};

}  // namespace

std::span<const QvFormatInfo> QvJSONFormats() { return kRecords; }

}  // namespace Tamrin
