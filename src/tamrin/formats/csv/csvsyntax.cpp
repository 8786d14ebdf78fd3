// The line syntax of CSV rows, shared by the reader, the writer and the
// tokenizer. Quotes follow what spreadsheets and Python's csv module write
// and read, so that files from either come in field for field.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numparse.h"
#include "tamrin/formats/csv/csv.h"

namespace Tamrin::QvCSV {

namespace {

constexpr auto npos = std::string_view::npos;

// Past the closing quote of a quoted field whose text starts at `pos`, or
// npos when the text ends first. Doubled quotes are text.
std::size_t PastClosingQuote(std::string_view row, std::size_t pos) {
  for (;;) {
    const std::size_t q = row.find('"', pos);
    if (q == npos) return npos;
    if (q + 1 < row.size() && row[q + 1] == '"') {
      pos = q + 2;
      continue;
    }
    return q + 1;
  }
}

// Appends the text of a quoted run starting at `pos` (past its opening
// quote) to `out`, a doubled quote standing for one. Past the closing quote,
// or npos when the text ends first (all of it appended).
std::size_t TakeQuoted(std::string_view text, std::size_t pos, char quote, std::string& out) {
  for (;;) {
    const std::size_t q = text.find(quote, pos);
    if (q == npos) {
      out.append(text.substr(pos));
      return npos;
    }
    out.append(text.substr(pos, q - pos));
    pos = q + 1;
    if (pos == text.size() || text[pos] != quote) return pos;
    out += quote;
    ++pos;
  }
}

}  // namespace

bool EndsInQuotes(std::string_view line, bool in_quotes) {
  if (!in_quotes && line.find('"') == npos) return false;
  std::size_t pos = 0;
  for (;;) {
    if (in_quotes || (pos < line.size() && line[pos] == '"')) {
      pos = PastClosingQuote(line, in_quotes ? pos : pos + 1);
      if (pos == npos) return true;
      in_quotes = false;
    }
    const std::size_t comma = line.find(',', pos);
    if (comma == npos) return false;
    pos = comma + 1;
  }
}

std::size_t SplitRow(std::string_view row, std::vector<std::string>& fields, bool quotes) {
  std::size_t n = 0;
  std::size_t pos = 0;
  for (;;) {
    if (n == fields.size()) fields.emplace_back();
    std::string& field = fields[n++];
    field.clear();
    if (quotes && pos < row.size() && row[pos] == '"') {
      // Only a row cut short ends inside the quotes (the reader gathers
      // lines until they close): the field then runs to its end.
      pos = TakeQuoted(row, pos + 1, '"', field);
      if (pos == npos) return n;
    }
    const std::size_t comma = row.find(',', pos);
    field.append(row.substr(pos, comma == npos ? npos : comma - pos));
    if (comma == npos) return n;
    pos = comma + 1;
  }
}

void AppendField(std::string& out, std::string_view field) {
  if (field.find(',') == npos && (field.empty() || field.front() != '"')) {
    out.append(field);
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

bool SplitBars(std::string_view field, std::string& out) {
  out.clear();
  std::size_t pos = 0;
  for (;;) {
    if (pos < field.size() && field[pos] == '\'') {
      pos = TakeQuoted(field, pos + 1, '\'', out);
      if (pos == npos) return false;
      if (pos == field.size()) return true;
      if (field[pos] != '|') return false;
    } else {
      const std::size_t bar = field.find('|', pos);
      out.append(field.substr(pos, bar == npos ? npos : bar - pos));
      if (bar == npos) return true;
      pos = bar;
    }
    out += '\n';
    ++pos;
  }
}

void JoinLines(std::string_view value, std::string& out) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t end = value.find('\n', pos);
    const std::string_view line = value.substr(pos, end == npos ? npos : end - pos);
    if (HasBars(line)) {
      out += '\'';
      for (const char c : line) {
        if (c == '\'') out += '\'';
        out += c;
      }
      out += '\'';
    } else {
      out.append(line);
    }
    if (end == npos) return;
    out += '|';
    pos = end + 1;
  }
}

bool IsCXSmilesField(std::string_view field) {
  if (field.size() < 2) return false;
  if (field.front() == '"') field.remove_prefix(1);
  field = Pellar::TrimBlanksLeft(field);
  // The token ends at the first blank outside apostrophes.
  std::size_t end = 0;
  bool quoted = false;
  while (end < field.size() && (quoted || !Pellar::IsBlank(field[end]))) {
    if (field[end] == '\'') quoted = !quoted;
    ++end;
  }
  const std::string_view token = field.substr(0, end);
  return token.size() >= 2 && token.front() == '|' && token.back() == '|';
}

}  // namespace Tamrin::QvCSV
