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
