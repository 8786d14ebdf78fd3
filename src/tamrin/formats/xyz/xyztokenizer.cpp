#include "tamrin/formats/xyz/xyztokenizer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"

namespace Tamrin {

namespace {


// The leading unsigned number of a line, as a "%u" scan finds it, except that
// a '-' sign does not scan: a negative count cannot size a record. Values past
// 32 bits saturate, so such a record runs to the end of the input.
bool ScanCount(std::string_view line, std::uint64_t& n) {
  line = Pellar::TrimBlanksLeft(line);
  std::uint32_t value = 0;
  const auto [end, ec] = Pellar::ParseInt(line.data(), line.data() + line.size(), value);
  if (end == line.data()) return false;
  n = ec == std::errc::result_out_of_range ? std::numeric_limits<std::uint32_t>::max() : value;
  return true;
}

}  // namespace

bool QvXYZTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  std::uint64_t n = 0;
  std::string_view line;
  if (!in.getline(line) || !ScanCount(line, n)) return false;
  QvAppendRecordLine(record, line);
  const std::size_t count_line = record.size();
  // The title, then the atoms.
  for (std::uint64_t i = 0; i <= n && in.getline(line); ++i) QvAppendRecordLine(record, line);
  if (record.size() == count_line) {
    record.clear();
    return false;
  }
  return true;
}

}  // namespace Tamrin
