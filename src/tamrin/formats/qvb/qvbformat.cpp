// The binary record formats in the molecule streams: QVB, and QVZ whose
// records are zstd-compressed multi-conformer records.
#include <memory>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/qvb/qvb.h"
#include "tamrin/formats/qvb/qvbtokenizer.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

// The payload buffer, kept so that a file of small records allocates once.
struct QVBState final : QvMolStreamBinaryState {
  std::string buffer;
};

std::unique_ptr<QvMolStreamBinaryState> MakeState() { return std::make_unique<QVBState>(); }

// The state is the one MakeState made for these formats; the type test is an
// exact one, which costs a pointer comparison where a cast would search.
std::string& Buffer(qvmolstreambase& stream) {
  QvMolStreamBinaryState* state = stream.BinaryState();
  if (state && typeid(*state) == typeid(QVBState)) return static_cast<QVBState*>(state)->buffer;
  thread_local std::string fallback;
  return fallback;
}

// A record that fails is reported; when its framing failed, what follows
// cannot be found again, so the rest of the input is dropped.
bool Report(qvmolistream& in, Sorvil::QVBReturn result, bool lost) {
  if (result == Sorvil::QVBSuccess) return true;
  Sorvil::QvErrorHandler::Warning("Error reading from QvBinary v2, return value was \"%s\"",
                                  Sorvil::QVBReturnText(result));
  if (lost) in.GetStream().skip(INT64_MAX);
  return false;
}

bool ReadQVBConformers(qvmolistream& in, QvMCMolBase& mol, unsigned) {
  if (in.GetStream().peek() < 0) return false;
  bool lost = false;
  const Sorvil::QVBReturn result = QvReadQVBRecord(in.GetStream(), mol, Buffer(in), &lost);
  return Report(in, result, lost);
}

bool ReadQVB(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  // A multi-conformer target takes the whole record.
  if (auto* mc = Sorvil::QvCast<QvMCMolBase>(&mol)) return ReadQVBConformers(in, *mc, flavor);
  if (in.GetStream().peek() < 0) return false;
  const std::int64_t position = in.GetStream().tell();
  std::vector<std::unique_ptr<QvMolBase>> more;
  bool lost = false;
  const Sorvil::QVBReturn result = QvReadQVBRecord(in.GetStream(), mol, Buffer(in), &more, &lost);
  if (!Report(in, result, lost)) return false;
  for (auto& conf : more) in.Enqueue(std::move(conf), position);
  return true;
}

template <QvQVBForm Form>
int WriteRecord(qvmolostream& out, const QvMolBase& mol) {
  std::string& record = Buffer(out);
  record.clear();
  if (!QvAppendQVBRecord(record, mol, Form) || !out.GetStream().write(record.data(), record.size()))
    return QvWriteStreamFailed;
  return QvWriteOk;
}

template <QvQVBForm Form>
int WriteQVB(qvmolostream& out, const QvMolBase& mol, unsigned) {
  return WriteRecord<Form>(out, mol);
}

template <QvQVBForm Form>
int WriteQVBConformers(qvmolostream& out, const QvMCMolBase& mol, unsigned) {
  return WriteRecord<Form>(out, mol);
}

bool NoOptions(unsigned flavor) { return flavor == 0; }

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvQVBTokenizer>(); }

constexpr QvFormatInfo kRecords[] = {
    {.code = QvFormat::QVB,
     .description = "QvBinary v2",
     .extensions = "qvb",
     .readable = true,
     .writable = true,
     .iflavor_valid = NoOptions,
     .oflavor_valid = NoOptions,
     .read = ReadQVB,
     .write = WriteQVB<QvQVBForm::Plain>,
     .conformer_records = true,
     .read_conformers = ReadQVBConformers,
     .write_conformers = WriteQVBConformers<QvQVBForm::Plain>,
     .tokenizer = MakeTokenizer,
     // A record carries the perception it was written with.
     .keeps_perception = true,
     .binary_state = MakeState},
    {.code = QvFormat::QVZ,
     .description = "Zstd Compressed QvBinary",
     .extensions = "qvz",
     .readable = true,
     .writable = true,
     .iflavor_valid = NoOptions,
     .oflavor_valid = NoOptions,
     .read = ReadQVB,
     .write = WriteQVB<QvQVBForm::Zstd>,
     .conformer_records = true,
     .read_conformers = ReadQVBConformers,
     .write_conformers = WriteQVBConformers<QvQVBForm::Zstd>,
     .tokenizer = MakeTokenizer,
     .keeps_perception = true,
     .binary_state = MakeState},
};

}  // namespace

std::span<const QvFormatInfo> QvBinaryFormats() { return kRecords; }

}  // namespace Tamrin
