#include "tamrin/streams/tokenizer.h"

#include <algorithm>
#include <string_view>

#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

QvMolTokenizer::~QvMolTokenizer() = default;

void QvAppendRecordLine(std::string& record, std::string_view line) {
  constexpr std::size_t kGrowthMargin = 4096;
  if (record.capacity() - record.size() < kGrowthMargin)
    record.reserve(std::max(2 * record.capacity(), record.size() + kGrowthMargin));
  record += line;
  record += '\n';
}

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

std::unique_ptr<QvMolTokenizer> QvCreateTokenizer(QvFormat format, unsigned iflavor) {
  if (format == QvFormat::UNDEFINED || !QvFormatInRange(format)) return nullptr;
  if (const QvTokenizerFactory make = QvGetFormatInfo(format).tokenizer) return make(iflavor);
  Sorvil::QvErrorHandler::Warning("Format (%d) does not have a valid tokenizer", static_cast<int>(QvFormatCode(format)));
  return nullptr;
}

std::unique_ptr<QvMolTokenizer> QvCreateTokenizer(const qvmolistream& in) {
  return QvCreateTokenizer(in.GetFormat(), in.GetFlavor());
}

}  // namespace Tamrin
