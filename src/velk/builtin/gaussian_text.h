// Text scanning shared by the CUBE and FCHK readers: a block-buffered line
// reader, a scanner that tokenises one line the way formatted stream
// extraction does, the integer-token rule, two flavours of strtod-compatible
// real parsing, and narrowing to float.
//
// Nothing here uses iostreams or the C locale of the process: numbers go
// through fast_float, and only the rare forms it does not take (a leading '+',
// hexadecimal, and for range detection zeros, subnormals and infinities) are
// handed to strtod_l under a private "C" locale, so results always equal
// strtod's in the "C" locale.
#pragma once

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <fast_float/fast_float.h>

#include "velk/errors.h"

namespace velk::builtin::gaussian {

inline constexpr double kAngstromPerBohr = 0.52917721067;
inline constexpr double kBohrPerAngstrom = 1.8897261254578281;
// The largest finite float, as a double.
inline constexpr double kFloatMax = 3.4028234663852886e38;

// White space as isspace() sees it in the "C" locale.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a file in large blocks and hands out its lines, each without its
// terminating line feed (a carriage return before it stays in the line). The
// last line need not end with a line feed. A read error ends the input as end
// of file would, which is what a line-reading stream reports too. Memory is
// one block, or the longest line when that is longer.
class LineReader {
 public:
  // Throws FileError "velk: unable to open '<path>' for reading".
  explicit LineReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw FileError("velk: unable to open '" + path + "' for reading");
    buffer_ = std::make_unique<char[]>(capacity_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader() { ::close(fd_); }

  // The next line, valid until the next call; false when there is none.
  bool Next(std::string_view& line) {
    for (;;) {
      // Fill() may move the buffer: positions are offsets, pointers are fresh.
      char* data = buffer_.get();
      const void* nl = std::memchr(data + scanned_, '\n', end_ - scanned_);
      if (nl) {
        const size_t stop = static_cast<size_t>(static_cast<const char*>(nl) - data);
        line = std::string_view(data + begin_, stop - begin_);
        begin_ = scanned_ = stop + 1;
        return true;
      }
      scanned_ = end_;
      if (eof_ || !Fill()) {
        if (begin_ == end_) return false;
        line = std::string_view(buffer_.get() + begin_, end_ - begin_);
        begin_ = scanned_ = end_;
        return true;
      }
    }
  }

 private:
  static constexpr size_t kBlock = size_t{1} << 18;

  // Appends the next block after the unread tail; false at end of file.
  bool Fill() {
    const size_t tail = end_ - begin_;
    if (begin_ != 0) {
      std::memmove(buffer_.get(), buffer_.get() + begin_, tail);
      scanned_ -= begin_;
      begin_ = 0;
      end_ = tail;
    }
    if (capacity_ - end_ < kBlock / 2) Grow();
    for (;;) {
      const ssize_t got = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
      if (got > 0) {
        end_ += static_cast<size_t>(got);
        return true;
      }
      if (got < 0 && errno == EINTR) continue;
      eof_ = true;
      return false;
    }
  }

  void Grow() {
    auto bigger = std::make_unique<char[]>(capacity_ * 2);
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }

  int fd_;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = kBlock;
  size_t begin_ = 0;    // first unread byte
  size_t end_ = 0;      // one past the last byte read
  size_t scanned_ = 0;  // bytes before this hold no line feed
  bool eof_ = false;
};

// strtod_l under a "C" locale created once for the process; `text` must be
// NUL-terminated. Returns the number of bytes consumed (0: no conversion).
inline size_t StrtodC(const std::string& text, double& value) {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  char* stop = nullptr;
  value = strtod_l(text.c_str(), &stop, c_locale);
  return static_cast<size_t>(stop - text.c_str());
}

// What strtod would read at `p` (which is not white space): returns the end
// of the number, or `p` when there is none. No range report.
inline const char* ScanStrtod(const char* p, const char* end, double& value) {
  if (*p != '+') {
    const auto got = fast_float::from_chars(p, end, value);
    // fast_float reads "0x1p3" as 0 and stops at the 'x'; strtod reads hex.
    if (got.ptr == p || got.ptr == end || (*got.ptr != 'x' && *got.ptr != 'X')) return got.ptr;
  }
  const char* token_end = p;
  while (token_end != end && !IsSpace(*token_end)) ++token_end;
  return p + StrtodC(std::string(p, token_end), value);
}

// One line as a string stream sees it: white-space delimited tokens and
// formatted extraction of doubles.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  // The next token; false when only white space is left.
  bool NextToken(std::string_view& token) {
    if (!HasMore()) return false;
    const char* start = p_;
    while (p_ != end_ && !IsSpace(*p_)) ++p_;
    token = std::string_view(start, static_cast<size_t>(p_ - start));
    return true;
  }

  // True when a further token follows.
  bool HasMore() {
    while (p_ != end_ && IsSpace(*p_)) ++p_;
    return p_ != end_;
  }

  // Formatted extraction of a double: the characters that can form a decimal
  // or exponent number are taken greedily (sign, digits, one point, one 'e'
  // with its sign), and the extraction fails unless they make a complete
  // number whose value is not infinite. No "inf", "nan" or hexadecimal. On
  // success the scanner stands right after the taken characters.
  bool ExtractDouble(double& value) {
    if (!HasMore()) return false;
    const char* start = p_;
    const char* p = p_;
    if (*p == '+' || *p == '-') ++p;
    bool point = false, exponent = false, mantissa_digit = false, exponent_digit = false;
    while (p != end_) {
      const char c = *p;
      if (c >= '0' && c <= '9') {
        (exponent ? exponent_digit : mantissa_digit) = true;
      } else if (c == '.' && !point && !exponent) {
        point = true;
      } else if ((c == 'e' || c == 'E') && !exponent && mantissa_digit) {
        exponent = true;
        if (p + 1 != end_ && (p[1] == '+' || p[1] == '-')) ++p;
      } else {
        break;
      }
      ++p;
    }
    p_ = p;
    if (!mantissa_digit || (exponent && !exponent_digit)) return false;
    const char* digits = *start == '+' ? start + 1 : start;
    const auto got = fast_float::from_chars(digits, p, value);
    return got.ptr == p && !std::isinf(value);
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
  const bool negative = token[0] == '-';
  const size_t first = (token[0] == '+' || negative) ? 1 : 0;
  if (first == token.size()) throw Malformed(what);
  // Saturates far above the int32 range, so any length of digits is safe.
  std::int64_t magnitude = 0;
  for (size_t i = first; i < token.size(); ++i) {
    const char c = token[i];
    if (c < '0' || c > '9') throw Malformed(what);
    if (magnitude <= (std::int64_t{1} << 40)) magnitude = magnitude * 10 + (c - '0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) throw OutOfRange(what);
  return static_cast<std::int32_t>(value);
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
  const char* p = text.data();
  const char* end = p + text.size();
  while (p != end && IsSpace(*p)) ++p;
  if (p == end) throw Malformed(what);
  double value = 0.0;
  if (*p != '+') {
    const auto got = fast_float::from_chars(p, end, value);
    // A normal finite result read to the end is exactly strtod's, without
    // ERANGE; anything else is settled by strtod itself.
    if (got.ptr == end && std::isnormal(value)) return value;
  }
  const std::string rest(p, end);
  errno = 0;
  const size_t used = StrtodC(rest, value);
  const bool range = errno == ERANGE;
  if (used == 0 || used != rest.size()) throw Malformed(what);
  if (range) throw OutOfRange(what);
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
