#include "pellar/numparse.h"

#include <cstdlib>

#include <locale.h>

namespace Pellar::numparse_detail {

namespace {

// Made once; a process whose locale writes decimal commas must still read
// "1.5" as one and a half.
locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

}  // namespace

double StrtodC(const char* text, char** stop) {
  const locale_t c = CLocale();
  return c ? strtod_l(text, stop, c) : std::strtod(text, stop);
}

float StrtofC(const char* text, char** stop) {
  const locale_t c = CLocale();
  return c ? strtof_l(text, stop, c) : std::strtof(text, stop);
}

}  // namespace Pellar::numparse_detail
