#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <type_traits>

#include <fast_float/fast_float.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pellar/qvstream.h"

namespace Pellar {

namespace {

// First byte below 32 (TAB included) in [p, end), or end: sixteen bytes at a
// step where SSE2 is there (every x86-64), then eight, then single bytes.
// Bytes of 128 and above are text (UTF-8) and never stop the scan.
const char* findcontrol(const char* p, const char* end) {
#if defined(__SSE2__)
  // Below 32 means the top three bits are clear.
  const __m128i top3 = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto hit = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(x, top3), zero)));
    if (hit) return p + std::countr_zero(hit);
    p += 16;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    // The lowest flagged byte of the classic "has byte less than n" test is
    // exact, because borrows only travel towards higher bytes.
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    while (end - p >= 8) {
      std::uint64_t x;
      std::memcpy(&x, p, 8);
      const std::uint64_t hit = (x - ones * 32) & ~x & highs;
      if (hit) return p + (std::countr_zero(hit) >> 3);
      p += 8;
    }
  }
  while (p != end && static_cast<unsigned char>(*p) >= 32) ++p;
  return p;
}

bool iswhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct StringSink {
  std::string& s;
  void append(const char* p, std::size_t n) { s.append(p, n); }
};

struct FixedSink {
  char* buf;
  std::size_t room;  // bytes that may still be stored
  void append(const char* p, std::size_t n) {
    const std::size_t k = std::min(n, room);
    std::memcpy(buf, p, k);
    buf += k;
    room -= k;
  }
};

struct NullSink {
  void append(const char*, std::size_t) {}
};

// Longest numeric token worth converting; longer ones are cut.
constexpr std::size_t NumberMax = 512;

template <class T>
T numberprefix(const char* first, const char* last) {
  // from_chars takes no '+', which printf-style text may carry.
  if (last - first > 1 && first[0] == '+' && first[1] != '-') ++first;
  T v{};
  if constexpr (std::is_floating_point_v<T>) {
    fast_float::from_chars(first, last, v);
  } else {
    std::from_chars(first, last, v);
  }
  return v;
}

}  // namespace

qvistream::qvistream() = default;

char* qvistream::nextblock() {
  bufpos_ += end_ - begin_;
  cur_ = end_ = begin_;
  return begin_;
}

// Kept out of line so that the short path of getline stays lean.
template <class Sink>
[[gnu::noinline]] bool qvistream::scanline(Sink& sink) {
  if (cur_ == end_ && !underflow()) return false;
  for (;;) {
    const char* stop = findcontrol(cur_, end_);
    sink.append(cur_, static_cast<std::size_t>(stop - cur_));
    cur_ += stop - cur_;
    if (cur_ == end_) {
      if (!underflow()) return true;
      continue;
    }
    const char c = *cur_++;
    if (c == '\n') return true;
    if (c == '\r') {
      eatcrtail();
      return true;
    }
    if (c == '\t') sink.append(&c, 1);
  }
}

void qvistream::eatcrtail() {
  for (;;) {
    if (cur_ == end_ && !underflow()) return;
    if (*cur_ == '\n') {
      ++cur_;
      return;
    }
    if (*cur_ != '\r') return;
    ++cur_;
  }
}

// Most lines lie whole in the buffer and end in a plain LF: one scan and one
// copy. Anything else (CR, TAB, other control bytes, the buffer edge) starts
// over on the general path, nothing having been consumed.
bool qvistream::getline(std::string& line) {
  if (cur_ != end_) {
    const char* stop = findcontrol(cur_, end_);
    if (stop != end_ && *stop == '\n') {
      line.assign(cur_, static_cast<std::size_t>(stop - cur_));
      cur_ += stop - cur_ + 1;
      return true;
    }
  }
  line.clear();
  StringSink sink{line};
  return scanline(sink);
}

bool qvistream::getline(char* buf, std::size_t size) {
  FixedSink sink{buf, size > 0 ? size - 1 : 0};
  const bool got = scanline(sink);
  if (size > 0) *sink.buf = '\0';
  return got;
}

bool qvistream::skipline() {
  NullSink sink;
  return scanline(sink);
}

bool qvistream::gettoken(char* buf, std::size_t size) {
  for (;;) {
    if (cur_ == end_ && !underflow()) {
      if (size > 0) *buf = '\0';
      return false;
    }
    if (static_cast<unsigned char>(*cur_) > 32) break;
    ++cur_;
  }
  std::size_t len = 0;
  bool cut = false;
  while (cur_ != end_ || underflow()) {
    const char c = *cur_;
    if (iswhite(c)) break;
    ++cur_;
    if (static_cast<unsigned char>(c) <= 32) continue;
    if (len + 1 < size) {
      buf[len++] = c;
    } else {
      cut = true;
    }
  }
  if (size > 0) buf[len] = '\0';
  if (cut) skipline();
  return true;
}

std::size_t qvistream::read(void* dst, std::size_t n) {
  char* out = static_cast<char*>(dst);
  std::size_t done = 0;
  while (done < n && (cur_ != end_ || underflow())) {
    const std::size_t k = std::min(n - done, buffered());
    std::memcpy(out + done, cur_, k);
    cur_ += k;
    done += k;
  }
  gcount_ = done;
  return done;
}

std::size_t qvistream::read(std::string& dst, std::size_t n) {
  dst.clear();
  while (dst.size() < n && (cur_ != end_ || underflow())) {
    const std::size_t k = std::min(n - dst.size(), buffered());
    dst.append(cur_, k);
    cur_ += k;
  }
  gcount_ = dst.size();
  return gcount_;
}

bool qvistream::skip(std::int64_t n) {
  if (n <= 0) return n == 0;
  for (;;) {
    const auto avail = static_cast<std::int64_t>(buffered());
    if (n <= avail) {
      cur_ += n;
      return true;
    }
    n -= avail;
    cur_ = end_;
    if (!underflow()) return false;
  }
}

bool qvistream::readall(std::string& s) {
  s.clear();
  while (cur_ != end_ || underflow()) {
    s.append(cur_, buffered());
    cur_ = end_;
  }
  gcount_ = s.size();
  return !s.empty();
}

bool qvistream::copyto(qvostream& out) {
  char chunk[4096];
  while (const std::size_t n = read(chunk, sizeof chunk)) {
    if (!out.write(chunk, n)) return false;
  }
  return !out.failed();
}

template <class T>
qvistream& qvistream::readnumber(T& v) {
  char token[NumberMax];
  v = gettoken(token, sizeof token) ? numberprefix<T>(token, token + std::strlen(token)) : T{};
  return *this;
}

qvistream& qvistream::operator>>(double& v) { return readnumber(v); }
qvistream& qvistream::operator>>(float& v) { return readnumber(v); }
qvistream& qvistream::operator>>(int& v) { return readnumber(v); }
qvistream& qvistream::operator>>(unsigned int& v) { return readnumber(v); }
qvistream& qvistream::operator>>(long& v) { return readnumber(v); }
qvistream& qvistream::operator>>(unsigned long& v) { return readnumber(v); }
qvistream& qvistream::operator>>(long long& v) { return readnumber(v); }
qvistream& qvistream::operator>>(unsigned long long& v) { return readnumber(v); }

qvistream& qvistream::operator>>(char& c) {
  if (const int b = get(); b >= 0) c = static_cast<char>(b);
  return *this;
}

qvistream& qvistream::operator>>(signed char& c) {
  if (const int b = get(); b >= 0) c = static_cast<signed char>(b);
  return *this;
}

qvistream& qvistream::operator>>(unsigned char& c) {
  if (const int b = get(); b >= 0) c = static_cast<unsigned char>(b);
  return *this;
}

qvistream& qvistream::skipbyte(bool& got) {
  got = get() >= 0;
  return *this;
}

qvistream& qvistream::operator>>(qvistream& (*manip)(qvistream&)) { return manip(*this); }

qvistream& ws(qvistream& in) {
  for (int c = in.peek(); c >= 0 && iswhite(static_cast<char>(c)); c = in.peek()) in.get();
  return in;
}

}  // namespace Pellar
