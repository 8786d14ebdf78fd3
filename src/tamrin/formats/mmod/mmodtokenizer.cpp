#include "tamrin/formats/mmod/mmodtokenizer.h"

#include <cstdint>
#include <limits>
#include <string_view>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"

namespace Tamrin {

bool QvMMODTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  std::string_view line;
  do {
    if (!in.getline(line)) return false;
  } while (Pellar::IsBlankLine(line));
  const std::string_view text = Pellar::TrimBlanksLeft(line);
  std::uint32_t n = 0;
  const auto [end, ec] = Pellar::ParseInt(text.data(), text.data() + text.size(), n);
  if (end == text.data()) return false;
  const std::uint64_t count = ec == std::errc::result_out_of_range ? std::numeric_limits<std::uint64_t>::max() : n;
  QvAppendRecordLine(record, line);
  for (std::uint64_t i = 0; i < count && in.getline(line); ++i) QvAppendRecordLine(record, line);
  return true;
}

}  // namespace Tamrin
