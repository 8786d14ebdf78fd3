// Number formatting of the CUBE writer.
#pragma once

#include <charconv>

namespace velk::builtin {

// Room FormatG9 needs: sign, 9 digits, point, "e-308", with margin.
inline constexpr int kG9Room = 32;

// Writes `value` as printf's "%.9g" would (shortest of fixed and exponent
// form with 9 significant digits, trailing zeros dropped, two-digit minimum
// exponent), without locale or stdio; `out` needs kG9Room bytes. Returns the
// end of the text, which is not NUL-terminated. The C++ precision overload of
// to_chars is specified to give printf's digits.
inline char* FormatG9(char* out, double value) {
  return std::to_chars(out, out + kG9Room, value, std::chars_format::general, 9).ptr;
}

}  // namespace velk::builtin
