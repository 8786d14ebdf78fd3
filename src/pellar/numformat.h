#pragma once
// Number formatting for every writer: the characters printf gives for the
// named conversion in the "C" locale, without stdio, locale or allocation.
//
// Contract and limits:
// - Each function writes at `out` and returns the end; nothing is
//   NUL-terminated. `out` must have room for the result: kIntChars for an
//   integer, FixedChars(decimals) for "%.*f" (the digits of DBL_MAX),
//   kGeneralChars for "%.*g" with a precision up to 17, or the width when
//   that is larger.
// - Integers: "%d", "%u", "%ld", "%llu" and so on, by the argument's type.
// - FormatFixed is "%.*f", FormatGeneral "%.*g"; std::to_chars with a
//   precision is specified to give exactly those digits, rounding included,
//   and it also spells "inf", "-inf", "nan" and "-0.000" as printf does.
//   (printf writes "-nan" for a NaN with its sign bit set; to_chars too.)
// - FormatGeneral9 is "%.9g" of a float widened to double, computed in
//   integers: several times faster than the general path for the bulk of a
//   grid file, and tested against snprintf over every float exponent.
// - Widths ("%10.4f", "%-3s") pad with blanks and never cut: a longer text
//   overflows the width, as in printf.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace Pellar {

// "-9223372036854775808" and "18446744073709551615" are 20 characters.
inline constexpr std::size_t kIntChars = 21;
// Sign, 17 digits, point, "e-308", with margin.
inline constexpr std::size_t kGeneralChars = 32;
// Sign, the 309 integer digits of DBL_MAX, point and decimals.
constexpr std::size_t FixedChars(int decimals) { return 311 + static_cast<std::size_t>(decimals); }

enum class Align { Right, Left };

// "%*s" (right) or "%-*s" (left).
inline char* Pad(char* out, std::string_view text, int width, Align align = Align::Right) {
  const std::size_t pad = text.size() < static_cast<std::size_t>(std::max(width, 0))
                              ? static_cast<std::size_t>(width) - text.size()
                              : 0;
  if (align == Align::Right) out = std::fill_n(out, pad, ' ');
  out = std::copy(text.begin(), text.end(), out);
  if (align == Align::Left) out = std::fill_n(out, pad, ' ');
  return out;
}

template <class T>
char* FormatInt(char* out, T value) {
  static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>);
  return std::to_chars(out, out + kIntChars, value).ptr;
}

// "%*d" / "%-*d".
template <class T>
char* FormatInt(char* out, T value, int width, Align align = Align::Right) {
  char digits[kIntChars];
  const char* end = FormatInt(digits, value);
  return Pad(out, std::string_view(digits, static_cast<std::size_t>(end - digits)), width, align);
}

namespace detail {

// "%.*f" in integers for the bulk of writers' numbers (coordinates,
// charges): |value| * 10^decimals below 1e12, where the product is within
// 1e-3 of the exact one. Values that land that close to a rounding tie are
// left to to_chars, which rounds the exact binary value; elsewhere rounding
// the product gives the same digits. Null when the value is not taken.
inline char* FastFixed(char* out, double value, int decimals) {
  static constexpr double kScale[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  static constexpr std::uint64_t kPow[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  if (decimals < 0 || decimals > 6) return nullptr;
  const bool negative = std::signbit(value);
  const double scaled = (negative ? -value : value) * kScale[decimals];
  if (!(scaled < 1e12)) return nullptr;  // also NaN and infinity
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;
  if (fraction > 0.499 && fraction < 0.501) return nullptr;
  const std::uint64_t n = static_cast<std::uint64_t>(whole) + (fraction >= 0.5 ? 1 : 0);
  if (negative) *out++ = '-';
  out = std::to_chars(out, out + kIntChars, n / kPow[decimals]).ptr;
  if (decimals == 0) return out;
  *out++ = '.';
  std::uint64_t rest = n % kPow[decimals];
  for (int i = decimals - 1; i >= 0; --i, rest /= 10) out[i] = static_cast<char>('0' + rest % 10);
  return out + decimals;
}

}  // namespace detail

inline char* FormatFixed(char* out, double value, int decimals) {
  if (char* end = detail::FastFixed(out, value, decimals)) return end;
  return std::to_chars(out, out + FixedChars(decimals), value, std::chars_format::fixed, decimals).ptr;
}

// "%*.*f": the fixed text right-aligned in `width`.
inline char* FormatFixed(char* out, double value, int width, int decimals) {
  const std::size_t n = static_cast<std::size_t>(FormatFixed(out, value, decimals) - out);
  if (n >= static_cast<std::size_t>(std::max(width, 0))) return out + n;
  const std::size_t pad = static_cast<std::size_t>(width) - n;
  std::memmove(out + pad, out, n);
  std::memset(out, ' ', pad);
  return out + width;
}

inline char* FormatGeneral(char* out, double value, int precision) {
  return std::to_chars(out, out + kGeneralChars, value, std::chars_format::general, precision).ptr;
}

// "%d" / "%*d" appended to a string.
template <class T>
void AppendInt(std::string& s, T value, int width = 0) {
  char digits[kIntChars];
  const auto n = static_cast<std::size_t>(FormatInt(digits, value) - digits);
  if (n < static_cast<std::size_t>(std::max(width, 0))) s.append(static_cast<std::size_t>(width) - n, ' ');
  s.append(digits, n);
}

inline void AppendFixed(std::string& s, double value, int decimals) {
  constexpr int kStackDecimals = 24;
  if (decimals <= kStackDecimals) {
    char text[FixedChars(kStackDecimals)];
    s.append(text, FormatFixed(text, value, decimals));
    return;
  }
  const std::size_t at = s.size();
  s.resize(at + FixedChars(decimals));
  s.resize(static_cast<std::size_t>(FormatFixed(s.data() + at, value, decimals) - s.data()));
}

namespace numformat_detail {

__extension__ typedef unsigned __int128 u128;

inline constexpr std::array<u128, 54> kPow5 = [] {
  std::array<u128, 54> table{};
  table[0] = 1;
  for (std::size_t i = 1; i < table.size(); ++i) table[i] = table[i - 1] * 5;
  return table;
}();

// A number below 2^149 as high * 2^64 + low.
struct Wide {
  u128 high;
  std::uint64_t low;

  bool Bit(int k) const { return k < 64 ? (low >> k) & 1 : static_cast<bool>((high >> (k - 64)) & 1); }
  // Whether any bit below bit k is set.
  bool AnyBelow(int k) const {
    if (k <= 64) return k > 0 && (low & ((std::uint64_t{1} << (k - 1) << 1) - 1)) != 0;
    return low != 0 || (high & ((u128{1} << (k - 64)) - 1)) != 0;
  }
  // The bits from k up; the caller knows they fit in 64 bits.
  std::uint64_t From(int k) const {
    if (k >= 64) return static_cast<std::uint64_t>(high >> (k - 64));
    if (k == 0) return low;
    return (low >> k) | static_cast<std::uint64_t>(high << (64 - k));
  }
};

// round(m * 2^e * 10^s) to nearest, ties to even, for a result below 2^63.
inline std::uint64_t ScaledRound(std::uint32_t m, int e, int s) {
  if (s >= 0) {
    const u128 p = kPow5[static_cast<std::size_t>(s)];
    const u128 a = u128{m} * static_cast<std::uint64_t>(p);
    const Wide n{u128{m} * static_cast<std::uint64_t>(p >> 64) + (a >> 64), static_cast<std::uint64_t>(a)};
    const int shift = e + s;
    if (shift >= 0) {
      // m * 5^s is below 2^30 here, so the shifted value is exact and small.
      return n.From(0) << shift;
    }
    const int r = -shift;
    std::uint64_t q = n.From(r);
    if (n.Bit(r - 1) && (n.AnyBelow(r - 1) || (q & 1))) ++q;
    return q;
  }
  // A value of at least 10^9: m * 2^(e+s) is an integer below 2^98.
  const u128 numerator = u128{m} << (e + s);
  const u128 divisor = kPow5[static_cast<std::size_t>(-s)];
  std::uint64_t q = static_cast<std::uint64_t>(numerator / divisor);
  const u128 twice_rest = (numerator % divisor) * 2;
  if (twice_rest > divisor) ++q;  // an odd divisor never ties
  return q;
}

inline char* Digits(char* out, std::uint32_t value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + count;
}

}  // namespace numformat_detail

// The float is m * 2^e, so value * 10^s is an integer product or quotient
// of at most 149 bits, rounded to nearest with ties to even as printf does.
inline char* FormatGeneral9(char* out, float value) {
  using namespace numformat_detail;
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t biased = (bits >> 23) & 0xff;
  if (biased == 0xff) return FormatGeneral(out, value, 9);
  if (bits >> 31) *out++ = '-';
  const std::uint32_t fraction = bits & 0x7fffff;
  if (biased == 0 && fraction == 0) {
    *out = '0';
    return out + 1;
  }
  const std::uint32_t m = biased == 0 ? fraction : fraction | 0x800000;
  const int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;
  // value lies in [2^b, 2^(b+1)); floor(b * log10(2)) is its decimal
  // exponent or one less.
  const int b = e + std::bit_width(m) - 1;
  int exponent = (b * 78913) >> 18;
  std::uint64_t d = ScaledRound(m, e, 8 - exponent);
  if (d >= 1000000000) {
    // Either the estimate was one short, or rounding carried into a tenth
    // digit; recomputing one place lower settles both.
    ++exponent;
    d = ScaledRound(m, e, 8 - exponent);
  }
  std::uint32_t digits = static_cast<std::uint32_t>(d);
  int count = 9;
  while (digits % 10 == 0) {
    digits /= 10;
    --count;
  }
  if (exponent >= -4 && exponent < 9) {
    if (exponent >= 0) {
      const int whole = exponent + 1;
      if (count <= whole) {
        out = Digits(out, digits, count);
        std::memset(out, '0', static_cast<std::size_t>(whole - count));
        return out + (whole - count);
      }
      std::uint32_t scale = 1;
      for (int i = 0; i < count - whole; ++i) scale *= 10;
      out = Digits(out, digits / scale, whole);
      *out++ = '.';
      return Digits(out, digits % scale, count - whole);
    }
    *out++ = '0';
    *out++ = '.';
    std::memset(out, '0', static_cast<std::size_t>(-exponent - 1));
    out += -exponent - 1;
    return Digits(out, digits, count);
  }
  std::uint32_t scale = 1;
  for (int i = 1; i < count; ++i) scale *= 10;
  out = Digits(out, digits / scale, 1);
  if (count > 1) {
    *out++ = '.';
    out = Digits(out, digits % scale, count - 1);
  }
  *out++ = 'e';
  *out++ = exponent < 0 ? '-' : '+';
  // Float exponents lie within [-45, 38]: always two digits.
  return Digits(out, static_cast<std::uint32_t>(exponent < 0 ? -exponent : exponent), 2);
}

}  // namespace Pellar
