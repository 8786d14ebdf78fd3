// IEEE 754 binary16 ("half float") conversions, for coordinates stored at
// half the size of a float. Conversion to half rounds to nearest, ties to
// even; values beyond the half range become infinities, NaN stays NaN.
#pragma once

#include <bit>
#include <cstdint>

namespace Pellar {

using QvHalfFloat = std::uint16_t;

constexpr float QvHalfToFloat(QvHalfFloat h) {
  const std::uint32_t sign = static_cast<std::uint32_t>(h & 0x8000u) << 16;
  const std::uint32_t exponent = (h >> 10) & 0x1Fu;
  std::uint32_t mantissa = h & 0x3FFu;
  if (exponent == 0x1F) return std::bit_cast<float>(sign | 0x7F800000u | (mantissa << 13));
  if (exponent != 0) return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (mantissa << 13));
  if (mantissa == 0) return std::bit_cast<float>(sign);
  // Subnormal half: normalise into the float's wider exponent range.
  std::uint32_t e = 113;
  while ((mantissa & 0x400u) == 0) {
    mantissa <<= 1;
    --e;
  }
  return std::bit_cast<float>(sign | (e << 23) | ((mantissa & 0x3FFu) << 13));
}

constexpr QvHalfFloat QvFloatToHalf(float value) {
  const std::uint32_t f = std::bit_cast<std::uint32_t>(value);
  const auto sign = static_cast<std::uint16_t>((f >> 16) & 0x8000u);
  const std::uint32_t exponent = (f >> 23) & 0xFFu;
  const std::uint32_t mantissa = f & 0x7FFFFFu;
  if (exponent == 0xFF) return static_cast<QvHalfFloat>(sign | 0x7C00u | (mantissa ? 0x200u : 0u));
  const int e = static_cast<int>(exponent) - 127 + 15;
  if (e >= 31) return static_cast<QvHalfFloat>(sign | 0x7C00u);
  std::uint32_t bits = 0;
  unsigned shift = 0;
  if (e <= 0) {
    if (e < -10) return sign;
    // Subnormal half: the implicit bit joins the mantissa, shifted further.
    bits = mantissa | 0x800000u;
    shift = static_cast<unsigned>(14 - e);
  } else {
    bits = (static_cast<std::uint32_t>(e) << 23) | mantissa;
    shift = 13;
  }
  const std::uint32_t half = bits >> shift;
  const std::uint32_t rest = bits & ((1u << shift) - 1);
  const std::uint32_t midway = 1u << (shift - 1);
  // A carry out of the mantissa correctly bumps the exponent.
  const std::uint32_t rounded = half + ((rest > midway || (rest == midway && (half & 1u))) ? 1u : 0u);
  return static_cast<QvHalfFloat>(sign | rounded);
}

}  // namespace Pellar
