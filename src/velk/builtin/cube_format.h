// Number formatting of the CUBE writer: printf's "%.9g" without stdio or
// locale. Doubles go through the precision form of std::to_chars, which is
// specified to give printf's digits; grid values, which are floats and the
// bulk of a file, go through an exact integer path several times faster.
#pragma once

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace velk::builtin {

// Room either formatter needs: sign, 9 digits, point, "e-308", with margin.
inline constexpr int kG9Room = 32;

// `value` as "%.9g" prints it (shortest of fixed and exponent form with 9
// significant digits, trailing zeros dropped, exponent of at least two
// digits). `out` needs kG9Room bytes; returns the end, not NUL-terminated.
inline char* FormatG9(char* out, double value) {
  return std::to_chars(out, out + kG9Room, value, std::chars_format::general, 9).ptr;
}

namespace g9_detail {

__extension__ typedef unsigned __int128 u128;

inline constexpr std::array<u128, 54> kPow5 = [] {
  std::array<u128, 54> table{};
  table[0] = 1;
  for (size_t i = 1; i < table.size(); ++i) table[i] = table[i - 1] * 5;
  return table;
}();

// A number below 2^149 as high * 2^64 + low.
struct Wide {
  u128 high;
  std::uint64_t low;

  bool Bit(int k) const {
    return k < 64 ? (low >> k) & 1 : static_cast<bool>((high >> (k - 64)) & 1);
  }
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
    const u128 p = kPow5[static_cast<size_t>(s)];
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
  const u128 divisor = kPow5[static_cast<size_t>(-s)];
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

}  // namespace g9_detail

// The same text as FormatG9(out, double(value)), computed exactly in
// integers: the float is m * 2^e, so value * 10^s is an integer product or
// quotient of at most 149 bits, rounded to nearest with ties to even as
// printf does.
inline char* FormatFloatG9(char* out, float value) {
  using namespace g9_detail;
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t biased = (bits >> 23) & 0xff;
  if (biased == 0xff) return FormatG9(out, value);  // not written by the CUBE writer
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
        std::memset(out, '0', static_cast<size_t>(whole - count));
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
    std::memset(out, '0', static_cast<size_t>(-exponent - 1));
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

}  // namespace velk::builtin
