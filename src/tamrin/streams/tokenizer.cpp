#include "tamrin/streams/tokenizer.h"

#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/streams/formatio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

QvMolTokenizer::~QvMolTokenizer() = default;

bool QvLineTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  std::string_view line;
  if (!in.getline(line)) {
    record.clear();
    return false;
  }
  record.assign(line);
  record += '\n';
  return true;
}

bool QvSDFTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  std::string_view line;
  while (in.getline(line)) {
    record += line;
    record += '\n';
    if (line.starts_with("$$$$")) break;
    if (line.starts_with("M  END")) {
      const int next = in.peekline();
      if (next != '$' && next != '>') break;
    }
  }
  return !record.empty();
}

namespace {

template <class T>
std::unique_ptr<QvMolTokenizer> Make(unsigned) {
  return std::make_unique<T>();
}

[[maybe_unused]] const bool builtins_registered = [] {
  for (QvFormat format : {QvFormat::SMI, QvFormat::USM, QvFormat::ISM, QvFormat::CAN, QvFormat::CXSMILES})
    QvRegisterTokenizer(format, Make<QvLineTokenizer>);
  QvRegisterTokenizer(QvFormat::SDF, Make<QvSDFTokenizer>);
  return true;
}();

}  // namespace

namespace {

// Records of these cannot be cut without parsing them.
bool Untokenizable(QvFormat format) {
  switch (format) {
    case QvFormat::MDL:
    case QvFormat::MF:
    case QvFormat::FASTA:
    case QvFormat::MOPAC:
    case QvFormat::SLN:
    case QvFormat::RDF:
    case QvFormat::SKC:
    case QvFormat::INCHIKEY: return true;
    default: return false;
  }
}

}  // namespace

std::unique_ptr<QvMolTokenizer> QvCreateTokenizer(QvFormat format, unsigned iflavor) {
  if (format == QvFormat::UNDEFINED || !QvFormatInRange(format)) return nullptr;
  const QvTokenizerFactory make = Untokenizable(format) ? nullptr : QvGetTokenizer(format);
  if (make) return make(iflavor);
  Sorvil::QvErrorHandler::Warning("Format (%d) does not have a valid tokenizer", static_cast<int>(QvFormatCode(format)));
  return nullptr;
}

std::unique_ptr<QvMolTokenizer> QvCreateTokenizer(const qvmolistream& in) {
  return QvCreateTokenizer(in.GetFormat(), in.GetFlavor());
}

}  // namespace Tamrin
