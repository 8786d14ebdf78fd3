// Text scanning shared by the CUBE and FCHK readers: lines under the
// toolkit's line rule, a scanner that tokenises one line the way formatted
// stream extraction does, the integer-token rule, the strtod-compatible real
// rule, and narrowing to float. The numbers themselves are read by
// pellar/numparse.h.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"
#include "velk/errors.h"

namespace velk::builtin::gaussian {

inline constexpr double kAngstromPerBohr = 0.52917721067;
inline constexpr double kBohrPerAngstrom = 1.8897261254578281;
// The largest finite float, as a double.
inline constexpr double kFloatMax = 3.4028234663852886e38;

// Lines come from qvistream::getline, which leaves no control byte but TAB
// in them, so blanks are all the white space a line can hold.
using Pellar::IsBlank;

// A file's lines under the toolkit's line rule (LF, CR, CRLF alike).
class LineReader {
 public:
  // Throws FileError "velk: unable to open '<path>' for reading".
  explicit LineReader(const std::string& path) : file_(std::make_unique<Pellar::qvifstream>()) {
    if (!file_->open(path.c_str())) throw FileError("velk: unable to open '" + path + "' for reading");
  }

  // The next line, valid until the next call; false when there is none.
  bool Next(std::string_view& line) { return file_->getline(line); }
  // Skips n lines; false when the file ends first.
  bool Skip(std::uint64_t n) { return file_->skiplines(n); }
  // Bytes after the current line; -1 when the file's size is unknown.
  std::int64_t BytesLeft() {
    const std::int64_t size = file_->size();
    return size < 0 ? -1 : size - file_->tell();
  }

 private:
  std::unique_ptr<Pellar::qvifstream> file_;  // its buffer is too large for the stack
};

// One line as a string stream sees it: white-space delimited tokens and
// formatted extraction of doubles.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  // The next token; false when only white space is left.
  bool NextToken(std::string_view& token) {
    if (!HasMore()) return false;
    const char* start = p_;
    while (p_ != end_ && !IsBlank(*p_)) ++p_;
    token = std::string_view(start, static_cast<size_t>(p_ - start));
    return true;
  }

  // True when a further token follows.
  bool HasMore() {
    while (p_ != end_ && IsBlank(*p_)) ++p_;
    return p_ != end_;
  }

  // Formatted extraction of a double (Pellar::ExtractDouble); the scanner
  // moves past the characters taken, also when they made no number.
  bool ExtractDouble(double& value) {
    if (!HasMore()) return false;
    const auto got = Pellar::ExtractDouble(p_, end_, value);
    p_ = got.ptr;
    return got.ec == std::errc();
  }

 private:
  const char* p_;
  const char* end_;
};

inline FormatError Missing(std::string_view what) {
  return FormatError("velk: missing " + std::string(what));
}
inline FormatError Malformed(std::string_view what) {
  return FormatError("velk: malformed " + std::string(what));
}
inline FormatError OutOfRange(std::string_view what) {
  return FormatError("velk: " + std::string(what) + " out of range");
}

// The integer-token rule: the next token must be an optional sign and at
// least one decimal digit, nothing else, with a value in the int32 range.
inline std::int32_t ParseIntToken(LineScanner& scanner, std::string_view what) {
  std::string_view token;
  if (!scanner.NextToken(token)) throw Missing(what);
  const char* last = token.data() + token.size();
  std::int32_t value = 0;
  const auto got = Pellar::ParseInt(token.data(), last, value);
  if (got.ptr != last || got.ec == std::errc::invalid_argument) throw Malformed(what);
  if (got.ec != std::errc()) throw OutOfRange(what);
  return value;
}

// One integer token and nothing after it.
inline std::int32_t ParseIntValue(std::string_view text, std::string_view what) {
  LineScanner scanner(text);
  const std::int32_t value = ParseIntToken(scanner, what);
  if (scanner.HasMore()) throw Malformed(what);
  return value;
}

// The whole text, after leading white space, must be one number as strtod
// reads it, and finite. A value outside the double range (strtod's ERANGE,
// overflow or underflow) is "out of range"; everything else is "malformed".
inline double ParseRealValue(std::string_view text, std::string_view what) {
  text = Pellar::TrimBlanksLeft(text);
  const char* end = text.data() + text.size();
  double value = 0.0;
  const auto got = Pellar::ParseDouble(text.data(), end, value);
  if (got.ptr == text.data() || got.ptr != end) throw Malformed(what);
  if (got.ec == std::errc::result_out_of_range) throw OutOfRange(what);
  if (!std::isfinite(value)) throw Malformed(what);
  return value;
}

// A finite double within the float range becomes the nearest float.
inline float NarrowToFloat(double value, std::string_view what) {
  if (!(std::fabs(value) <= kFloatMax)) {
    throw FormatError("velk: " + std::string(what) + " is non-finite or out of range");
  }
  return static_cast<float>(value);
}

}  // namespace velk::builtin::gaussian
