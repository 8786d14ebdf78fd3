// Cutting CIF input into data blocks, shared by the reader and the record
// tokenizer (which must not need the CIF parser).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

inline bool IsCIFBlockHeader(std::string_view line) {
  if (line.size() < 5 || line[4] != '_') return false;
  static constexpr char kData[] = "data";
  for (std::size_t i = 0; i < 4; ++i)
    if ((line[i] | 0x20) != kData[i]) return false;
  return true;
}

// Appends the lines of one data block to `block`; the header of the block
// after it goes to `hold`, and `skipped` follows each line before the first
// header. A ';' at the start of a line opens or closes a text field, inside
// which "data_" is only text.
template <class GetLine, class Hold, class Skipped>
bool QvCutCIFBlock(GetLine get, Hold hold, Skipped skipped, std::string& block) {
  block.clear();
  std::string_view line;
  bool started = false, in_text = false;
  while (get(line)) {
    if (!in_text && IsCIFBlockHeader(line)) {
      if (started) {
        hold(line);
        return true;
      }
      started = true;
    } else if (!started) {
      skipped();
      continue;
    } else if (!line.empty() && line[0] == ';') {
      in_text = !in_text;
    }
    QvAppendRecordLine(block, line);
  }
  return started;
}

}  // namespace Tamrin
