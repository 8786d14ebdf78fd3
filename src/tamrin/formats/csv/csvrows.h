// Gathering the lines of one CSV row, for the reader and the tokenizer.
#pragma once

#include <string>
#include <string_view>

#include "tamrin/formats/csv/csv.h"

namespace Tamrin::QvCSV {

enum class Gathered { None, Row, Unclosed };

// Reads a line from `next` (bool(std::string_view&)) and, while a quoted
// field is open at its end, the lines after it; `row` views the line or
// `buffer` holding the lines joined with '\n'. When the quote does not close
// before the input ends or kMaxQuotedSpan bytes, the opening quote was a
// stray one: `row` is the first line alone (Unclosed) and `rest` the lines
// read past it, joined with '\n', for the caller to read again; `has_rest`
// tells an empty rest from an empty line.
template <class NextLine>
Gathered GatherRow(NextLine&& next, std::string_view& row, std::string& buffer, std::string& rest,
                   bool& has_rest) {
  std::string_view line;
  if (!next(line)) return Gathered::None;
  if (!EndsInQuotes(line, false)) {
    row = line;
    return Gathered::Row;
  }
  buffer.assign(line);
  const std::size_t first = buffer.size();
  while (buffer.size() <= kMaxQuotedSpan && next(line)) {
    buffer += '\n';
    buffer.append(line);
    if (!EndsInQuotes(line, true)) {
      row = buffer;
      return Gathered::Row;
    }
  }
  has_rest = buffer.size() > first;
  rest.assign(buffer, has_rest ? first + 1 : first);
  buffer.resize(first);
  row = buffer;
  return Gathered::Unclosed;
}

}  // namespace Tamrin::QvCSV
