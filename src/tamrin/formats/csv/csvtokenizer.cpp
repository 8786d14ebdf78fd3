#include "tamrin/formats/csv/csvtokenizer.h"

#include <string_view>

#include "pellar/qvstream.h"
#include "tamrin/formats/csv/csvrows.h"

namespace Tamrin {

bool QvCSVTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  // What a stray quote gave back is read again first, line by line. The
  // view stays valid: pending_ changes only once the row is gathered.
  const auto next = [&](std::string_view& line) {
    if (!has_pending_) return in.getline(line);
    const std::size_t end = pending_.find('\n', at_);
    line = std::string_view(pending_).substr(at_, end == std::string::npos ? std::string::npos : end - at_);
    if (end == std::string::npos)
      has_pending_ = false;
    else
      at_ = end + 1;
    return true;
  };
  thread_local std::string buffer, rest;
  std::string_view row;
  bool has_rest = false;
  const QvCSV::Gathered got = QvCSV::GatherRow(next, row, buffer, rest, has_rest);
  if (got == QvCSV::Gathered::None) return false;
  QvAppendRecordLine(record, row);
  if (got == QvCSV::Gathered::Unclosed && has_rest) {
    if (has_pending_) {
      rest += '\n';
      rest.append(pending_, at_);
    }
    pending_.swap(rest);
    at_ = 0;
    has_pending_ = true;
  }
  return true;
}

}  // namespace Tamrin
