#pragma once
// Number parsing for every text reader: locale-free, allocation-free on the
// common path, and exact.
//
// Contract and limits:
// - Nothing here skips white space or looks at the process locale; callers
//   say what separates fields (lines given by qvistream::getline carry no
//   control bytes other than TAB, so "blank" below means ' ' or '\t').
// - ParseDouble reads what strtod reads in the "C" locale at `first`
//   (optional sign, decimal or exponent form, hexadecimal, inf, infinity,
//   nan, nan(chars)) and yields the same double, bit for bit (NaN payloads
//   aside). ec is result_out_of_range exactly where strtod sets ERANGE
//   (overflow to infinity, underflow to zero or a subnormal) and the value
//   is strtod's then too. fast_float does the work; the forms it does not
//   take ('+', hexadecimal) and subnormal results go to strtod_l under a
//   private "C" locale.
// - ParseFloat is the same for float, as strtof reads it (rounded once from
//   the decimal text, not through double).
// - ExtractDouble follows formatted stream extraction (>> double): decimal
//   and exponent forms only, characters taken greedily, and a value that
//   overflows fails. No inf, nan or hexadecimal.
// - ParseInt reads an optional sign ('-' only for signed types) and decimal
//   digits, as strtol does without its white-space skip and base prefixes.
//   Overflow gives result_out_of_range with ptr past every digit and the
//   value untouched; it is never wrapped.
// - ColumnInt and FixedPointField are the forgiving and the strict rule for
//   the fixed columns of card-image formats (MDL molfiles); the layout of a
//   fixed-point field is a template argument, as it is fixed by the format.
#include <array>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

#include <fast_float/fast_float.h>

namespace Pellar {

struct ParseResult {
  const char* ptr;  // one past the last character used; the start when none
  std::errc ec;
};

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

inline std::string_view TrimBlanksLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

inline std::string_view TrimBlanksRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

inline std::string_view TrimBlanks(std::string_view s) { return TrimBlanksLeft(TrimBlanksRight(s)); }

inline bool IsBlankLine(std::string_view s) { return TrimBlanksLeft(s).empty(); }

// The next blank-separated field at or after `pos` (which moves past it);
// false when only blanks are left.
inline bool NextField(std::string_view line, std::size_t& pos, std::string_view& field) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos == line.size()) return false;
  const std::size_t start = pos;
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  field = line.substr(start, pos - start);
  return true;
}

// The first N blank-separated fields of a line; `count` says how many there
// were, at most N (later fields are not looked at).
template <std::size_t N>
struct LineFields {
  std::array<std::string_view, N> field{};
  unsigned count = 0;

  explicit LineFields(std::string_view line) {
    std::size_t pos = 0;
    while (count < N && NextField(line, pos, field[count])) ++count;
  }
};

namespace numparse_detail {

// strtod or strtof under the "C" locale, whatever the process locale is.
double StrtodC(const char* text, char** stop);
float StrtofC(const char* text, char** stop);

// The forms fast_float leaves to the C library: a '+' sign, and "0x" after
// which it stops.
inline bool NeedsLibrary(const char* first, const char* last, const char* stop) {
  return *first == '+' || (stop != last && (*stop == 'x' || *stop == 'X'));
}

// A zero result whose text has a non-zero digit before any exponent is an
// underflow.
inline bool AnyNonzeroDigit(const char* first, const char* last) {
  for (const char* p = first; p != last && *p != 'e' && *p != 'E'; ++p)
    if (*p >= '1' && *p <= '9') return true;
  return false;
}

template <class T>
ParseResult ByLibrary(const char* first, const char* last, T& value) {
  // Numbers hold no byte at or below ' ', so the copy stops there.
  const char* end = first;
  while (end != last && static_cast<unsigned char>(*end) > ' ') ++end;
  char small[128];
  std::string large;
  const std::size_t n = static_cast<std::size_t>(end - first);
  const char* text = small;
  if (n < sizeof small) {
    std::memcpy(small, first, n);
    small[n] = '\0';
  } else {
    large.assign(first, n);
    text = large.c_str();
  }
  char* stop = nullptr;
  errno = 0;
  const T v = std::is_same_v<T, float> ? StrtofC(text, &stop) : StrtodC(text, &stop);
  const bool range = errno == ERANGE;
  if (stop == text) return {first, std::errc::invalid_argument};
  value = v;
  return {first + (stop - text), range ? std::errc::result_out_of_range : std::errc()};
}

// The smallest normal magnitude is also what a text just below it rounds up
// to, and the C library calls that an underflow; so it is left to the
// library, as subnormals are.
template <class T>
inline bool PlainNormal(T v) {
  return std::isnormal(v) && std::fabs(v) != std::numeric_limits<T>::min();
}

// Everything but a plain normal number or an exact zero.
template <class T>
[[gnu::noinline]] ParseResult ParseRealRare(const char* first, const char* last, T& value) {
  if (first == last) return {first, std::errc::invalid_argument};
  T v;
  const auto got = fast_float::from_chars(first, last, v);
  if (NeedsLibrary(first, last, got.ptr)) return ByLibrary(first, last, value);
  if (got.ec != std::errc()) return {first, std::errc::invalid_argument};
  // The C library reads the chars of "nan(chars)" as a number and reports
  // ERANGE when that overflows.
  if (std::isnan(v) && got.ptr[-1] == ')') return ByLibrary(first, last, value);
  if (PlainNormal(v) || std::isnan(v)) {
    value = v;
    return {got.ptr, std::errc()};
  }
  if (v == 0) {
    value = v;
    const bool underflow = AnyNonzeroDigit(first, got.ptr);
    return {got.ptr, underflow ? std::errc::result_out_of_range : std::errc()};
  }
  if (std::isinf(v)) {
    value = v;
    // "inf" and "infinity" are no overflow.
    const char* p = *first == '-' ? first + 1 : first;
    const bool spelled = *p == 'i' || *p == 'I';
    return {got.ptr, spelled ? std::errc() : std::errc::result_out_of_range};
  }
  return ByLibrary(first, last, value);  // subnormal or the smallest normal: ERANGE is the library's call
}

// The common case inline: fast_float's value is strtod's whenever it read a
// normal number or an exact zero and did not stop at the 'x' of "0x".
template <class T>
inline ParseResult ParseReal(const char* first, const char* last, T& value) {
  if (first != last && *first != '+') {
    T v;
    const auto got = fast_float::from_chars(first, last, v);
    if (got.ec == std::errc() && (got.ptr == last || (*got.ptr != 'x' && *got.ptr != 'X')) &&
        (PlainNormal(v) || (v == 0 && !AnyNonzeroDigit(first, got.ptr)))) {
      value = v;
      return {got.ptr, std::errc()};
    }
  }
  return ParseRealRare(first, last, value);
}

// A plain decimal, the bulk of fixed-column files ("-12.345": an optional
// '-', at most 15 digits, at most one '.'): its digits as an integer divided
// by an exact power of ten. Both are exact doubles, so the one division
// rounds correctly and gives strtod's value. False for any other text.
inline bool ParsePlainDecimal(std::string_view s, double& value) {
  static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = s.data();
  const char* const end = p + s.size();
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int decimals = -1;
  for (; p != end; ++p) {
    if (*p >= '0' && *p <= '9') {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      ++digits;
      if (decimals >= 0) ++decimals;
    } else if (*p == '.' && decimals < 0) {
      decimals = 0;
    } else {
      return false;
    }
  }
  if (digits == 0 || digits > 15) return false;
  const double magnitude = static_cast<double>(mantissa) / kPow10[decimals < 0 ? 0 : decimals];
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace numparse_detail

inline ParseResult ParseDouble(const char* first, const char* last, double& value) {
  return numparse_detail::ParseReal(first, last, value);
}

inline ParseResult ParseFloat(const char* first, const char* last, float& value) {
  return numparse_detail::ParseReal(first, last, value);
}

// [sign] digits [. digits] [e [sign] digits], or [sign] . digits ...: taken
// greedily, so "1e" and "1e+" fail having used their characters (ptr tells
// how far). Fails too when the value overflows.
inline ParseResult ExtractDouble(const char* first, const char* last, double& value) {
  const char* p = first;
  if (p != last && (*p == '+' || *p == '-')) ++p;
  bool point = false, exponent = false, mantissa_digit = false, exponent_digit = false;
  while (p != last) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      (exponent ? exponent_digit : mantissa_digit) = true;
    } else if (c == '.' && !point && !exponent) {
      point = true;
    } else if ((c == 'e' || c == 'E') && !exponent && mantissa_digit) {
      exponent = true;
      if (p + 1 != last && (p[1] == '+' || p[1] == '-')) ++p;
    } else {
      break;
    }
    ++p;
  }
  if (!mantissa_digit || (exponent && !exponent_digit)) return {p, std::errc::invalid_argument};
  double v;
  const char* digits = *first == '+' ? first + 1 : first;
  const auto got = fast_float::from_chars(digits, p, v);
  if (got.ptr != p || std::isinf(v)) return {p, std::errc::result_out_of_range};
  value = v;
  return {p, std::errc()};
}

template <class T>
ParseResult ParseInt(const char* first, const char* last, T& value) {
  static_assert(std::is_integral_v<T>);
  const char* p = first;
  if (p != last && *p == '+' && last - p > 1 && p[1] >= '0' && p[1] <= '9') ++p;
  const auto got = std::from_chars(p, last, value);
  if (got.ptr == p) return {first, std::errc::invalid_argument};
  return {got.ptr, got.ec};
}

// The whole text is one number by the rule of its type (ParseDouble,
// ParseFloat, ParseInt). A real out of range takes strtod's value (an
// infinity, zero or a subnormal) as it would; an integer out of range is
// refused.
template <class T>
bool ParseWhole(std::string_view s, T& value) {
  const char* first = s.data();
  const char* last = first + s.size();
  T v;
  ParseResult got;
  if constexpr (std::is_same_v<T, double>) {
    if (numparse_detail::ParsePlainDecimal(s, value)) return true;
  }
  if constexpr (std::is_floating_point_v<T>) {
    // Range does not matter here, so a text that fast_float takes whole has
    // strtod's value whatever it is; the rest goes the long way.
    const auto whole = fast_float::from_chars(first, last, v);
    if (whole.ec == std::errc() && whole.ptr == last && first != last && *first != '+') {
      value = v;
      return true;
    }
    got = numparse_detail::ParseRealRare(first, last, v);
  } else {
    got = ParseInt(first, last, v);
  }
  const bool taken = got.ec == std::errc() || (std::is_floating_point_v<T> && got.ec == std::errc::result_out_of_range);
  if (!taken || got.ptr != last) return false;
  value = v;
  return true;
}

// The `width` characters from 1-based column `col` of a card-image line,
// cut at the end of the line: a '-' anywhere makes the value negative,
// digits accumulate, everything else is ignored.
inline long ColumnInt(std::string_view line, std::size_t col, std::size_t width) {
  long value = 0;
  bool negative = false;
  for (std::size_t i = col - 1; i < col - 1 + width && i < line.size(); ++i) {
    const char c = line[i];
    if (c == '-') negative = true;
    else if (c >= '0' && c <= '9') value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

// The first Width characters of `field` (which has at least that many)
// laid out by "%W.Df" with D = Decimals: D digits after a '.' in place W-D,
// before it up to W-D-1 digits ending at a blank, a '-' or the start of the
// field, blanks before that. Anything else gives 0: a shifted or free-format
// number is never half read. Exact for up to 18 digits in all.
template <std::size_t Width, std::size_t Decimals>
double FixedPointField(std::string_view field) {
  static_assert(Decimals > 0 && Decimals + 1 < Width && Width <= 19);
  constexpr std::size_t point = Width - Decimals - 1;
  constexpr long long scale = [] {
    long long s = 1;
    for (std::size_t i = 0; i < Decimals; ++i) s *= 10;
    return s;
  }();
  if (field[point] != '.') return 0.0;
  long long fraction = 0;
  for (std::size_t i = point + 1; i < Width; ++i) {
    if (field[i] < '0' || field[i] > '9') return 0.0;
    fraction = fraction * 10 + (field[i] - '0');
  }
  long long whole = 0;
  long long weight = 1;
  bool negative = false;
  std::size_t i = point;
  for (; i > 0; --i) {
    const char c = field[i - 1];
    if (c >= '0' && c <= '9') {
      whole += (c - '0') * weight;
      weight *= 10;
    } else if (c == ' ' || c == '-') {
      negative = c == '-';
      break;
    } else {
      return 0.0;
    }
  }
  for (std::size_t j = 0; j + 1 < i; ++j)
    if (field[j] != ' ') return 0.0;
  const double value = static_cast<double>(whole * scale + fraction) / static_cast<double>(scale);
  return negative ? -value : value;
}

}  // namespace Pellar
