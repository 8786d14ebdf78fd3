// Differential check of the number parser: whatever the bytes, ParseDouble
// and ParseFloat must take exactly what strtod and strtof take (without
// their white-space skip) and give the same value and range report, and
// ParseInt what strtoll takes without its skip and base prefixes.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "pellar/numparse.h"

namespace {

void require(bool ok) {
  if (!ok) __builtin_trap();
}

template <class T>
bool same(T a, T b) {
  return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

bool spaced(const std::string& text) { return !text.empty() && (text[0] == ' ' || (text[0] >= '\t' && text[0] <= '\r')); }

template <class T>
void checkreal(const std::string& text) {
  const char* first = text.c_str();
  const char* last = first + text.size();
  T got = 0;
  char* stop = nullptr;
  errno = 0;
  T want;
  if constexpr (std::is_same_v<T, float>) {
    want = std::strtof(first, &stop);
  } else {
    want = std::strtod(first, &stop);
  }
  const bool range = errno == ERANGE;
  Pellar::ParseResult r;
  if constexpr (std::is_same_v<T, float>) {
    r = Pellar::ParseFloat(first, last, got);
  } else {
    r = Pellar::ParseDouble(first, last, got);
  }
  if (spaced(text)) return;  // strtod skips what ParseDouble refuses
  if (stop == first) {
    require(r.ptr == first && r.ec == std::errc::invalid_argument);
    return;
  }
  require(r.ptr == stop);
  require(same(got, want));
  require((r.ec == std::errc::result_out_of_range) == range);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text stops at the first NUL, as strtod's would.
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  checkreal<double>(text);
  checkreal<float>(text);

  if (!spaced(text)) {
    long long got = 0;
    const Pellar::ParseResult r = Pellar::ParseInt(text.c_str(), text.c_str() + text.size(), got);
    char* stop = nullptr;
    errno = 0;
    const long long want = std::strtoll(text.c_str(), &stop, 10);
    const bool range = errno == ERANGE;
    require(r.ptr == stop);
    require(range == (r.ec == std::errc::result_out_of_range));
    if (!range && stop != text.c_str()) require(got == want);
  }
  double v;
  const auto e = Pellar::ExtractDouble(text.c_str(), text.c_str() + text.size(), v);
  require(e.ptr >= text.c_str() && e.ptr <= text.c_str() + text.size());
  return 0;
}
