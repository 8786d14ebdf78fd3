#include <algorithm>
#include <charconv>
#include <cstring>
#include <type_traits>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"

namespace Pellar {

namespace {

bool iswhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Longest numeric token worth converting; longer ones are cut.
constexpr std::size_t NumberMax = 512;

template <class T>
T numberprefix(const char* first, const char* last) {
  T v{};
  if constexpr (std::is_same_v<T, double>) {
    ParseDouble(first, last, v);
  } else if constexpr (std::is_same_v<T, float>) {
    ParseFloat(first, last, v);
  } else {
    ParseInt(first, last, v);
  }
  return v;
}

}  // namespace

qvistream::qvistream() = default;

std::int64_t qvistream::blankthrough(bool anybyte) {
  if (cur_ == end_ && !underflow()) return tell();
  if (anybyte) return -1;
  for (const char* p = cur_; p != end_; ++p)
    if (static_cast<unsigned char>(*p) > ' ') return -1;
  return bufpos_ + (end_ - begin_);
}

char* qvistream::nextblock() {
  bufpos_ += end_ - begin_;
  cur_ = end_ = begin_;
  return begin_;
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

// The line is cut out of the buffer in place: the control bytes it drops are
// squeezed out by moving the rest of the line over them (those bytes are
// consumed, so nothing else reads them). Only a line that runs past the end
// of the buffer, or whose CR tail does, is copied.
bool qvistream::getlinerest(std::string_view& line, const char* p) {
  if (!p) {
    if (!underflow()) return false;
    p = detail::findcontrol(cur_, end_);
    if (p != end_ && *p == '\n') {
      line = std::string_view(cur_, static_cast<std::size_t>(p - cur_));
      cur_ += p - cur_ + 1;
      return true;
    }
  }
  char* const start = cur_;
  char* w = start + (p - start);
  for (;;) {
    const char* stop = detail::findcontrol(p, end_);
    if (w != p) std::memmove(w, p, static_cast<std::size_t>(stop - p));
    w += stop - p;
    p = stop;
    if (p == end_) break;
    const char c = *p++;
    if (c == '\n') {
      line = std::string_view(start, static_cast<std::size_t>(w - start));
      cur_ += p - cur_;
      return true;
    }
    if (c == '\r') {
      while (p != end_ && *p == '\r') ++p;
      if (p == end_) break;
      if (*p == '\n') ++p;
      line = std::string_view(start, static_cast<std::size_t>(w - start));
      cur_ += p - cur_;
      return true;
    }
    if (c == '\t') *w++ = c;
  }
  return straddle(start, w, p, line);
}

// The rest of a line that reaches the end of the buffer, collected in
// scratch_; [start, w) is what the buffer held of it, and p says how far
// it was scanned (past a CR tail that met the edge).
[[gnu::noinline]] bool qvistream::straddle(const char* start, const char* w, const char* p,
                                           std::string_view& line) {
  scratch_.assign(start, static_cast<std::size_t>(w - start));
  const bool cr = p != start && p[-1] == '\r';
  cur_ = end_;
  if (cr) {
    eatcrtail();
  } else {
    while (underflow()) {
      const char* q = cur_;
      for (;;) {
        const char* stop = detail::findcontrol(q, end_);
        scratch_.append(q, static_cast<std::size_t>(stop - q));
        q = stop;
        if (q == end_) break;
        const char c = *q++;
        if (c == '\n' || c == '\r') {
          cur_ += q - cur_;
          if (c == '\r') eatcrtail();
          line = scratch_;
          return true;
        }
        if (c == '\t') scratch_ += c;
      }
      cur_ = end_;
    }
  }
  line = scratch_;
  return true;
}

bool qvistream::getline(char* buf, std::size_t size) {
  std::string_view view;
  const bool got = getline(view);
  if (size > 0) {
    const std::size_t n = got ? std::min(view.size(), size - 1) : 0;
    // An empty view may hold no pointer at all, which memcpy must not get.
    if (n > 0) std::memcpy(buf, view.data(), n);
    buf[n] = '\0';
  }
  return got;
}

bool qvistream::skipline() {
  std::string_view view;
  return getline(view);
}

bool qvistream::skiplines(std::uint64_t n) {
  std::string_view line;
  for (;;) {
#if defined(__SSE2__)
    n = countlines(n);
#endif
    if (n == 0) return true;
    if (!getline(line)) return false;
    --n;
  }
}

#if defined(__SSE2__)
// Only LF and CR bear on where lines end. Groups of 63 x 64 bytes with no CR
// and fewer than n line ends are counted with byte counters (a counter meets
// at most four LFs a row, so 63 rows cannot overflow it); any other group is
// walked line end by line end. A CR run that meets the buffer's end, and the
// last 15 bytes, are left to getline.
std::uint64_t qvistream::countlines(std::uint64_t n) {
  constexpr std::ptrdiff_t Rows = 63;
  constexpr std::ptrdiff_t Group = Rows * 64;
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i zero = _mm_setzero_si128();
  const char* p = cur_;
  const char* next = cur_;  // start of the first line not counted yet
  const auto at = [](const char* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
  while (n > 0 && end_ - p >= 16) {
    if (end_ - p >= Group) {
      __m128i ends = zero;
      __m128i crs = zero;
      for (const char* q = p; q != p + Group; q += 64) {
        const __m128i a = at(q), b = at(q + 16), c = at(q + 32), d = at(q + 48);
        // A match is -1, so subtracting counts it.
        ends = _mm_sub_epi8(ends, _mm_add_epi8(_mm_add_epi8(_mm_cmpeq_epi8(a, lf), _mm_cmpeq_epi8(b, lf)),
                                               _mm_add_epi8(_mm_cmpeq_epi8(c, lf), _mm_cmpeq_epi8(d, lf))));
        crs = _mm_or_si128(crs, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, cr), _mm_cmpeq_epi8(b, cr)),
                                             _mm_or_si128(_mm_cmpeq_epi8(c, cr), _mm_cmpeq_epi8(d, cr))));
      }
      const __m128i sums = _mm_sad_epu8(ends, zero);
      const auto count = static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums)) +
                         static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
      if (!_mm_movemask_epi8(crs) && count < n) {
        n -= count;
        p += Group;
        if (count) next = static_cast<const char*>(::memrchr(p - Group, '\n', Group)) + 1;
        continue;
      }
    }
    const char* const stop = end_ - p >= Group ? p + Group : end_;
    while (p < stop && end_ - p >= 16) {
      const __m128i x = at(p);
      auto events = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, lf), _mm_cmpeq_epi8(x, cr))));
      const char* resume = p + 16;
      for (; events; events &= events - 1) {
        const char* q = p + std::countr_zero(events);
        if (*q == '\r') {
          const char* j = q + 1;
          while (j != end_ && *j == '\r') ++j;
          if (j == end_) {
            cur_ += next - cur_;
            return n;
          }
          if (*j == '\n') ++j;
          next = resume = j;
          --n;
          break;
        }
        next = q + 1;
        if (--n == 0) break;
      }
      if (n == 0) break;
      p = resume;
    }
  }
  cur_ += next - cur_;
  return n;
}
#endif

int qvistream::peekline() {
  for (;;) {
    const int c = peek();
    if (c < 0 || c >= 32 || c == '\t') return c;
    if (c == '\n' || c == '\r') return '\n';
    ++cur_;
  }
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
