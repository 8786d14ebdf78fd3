#include "pellar/qvstream.h"

#include <cstring>

#include "pellar/numformat.h"

namespace Pellar {

qvstream::qvstream() : cur_(buffer_), begin_(buffer_), end_(buffer_) {}

qvstream::~qvstream() = default;

bool qvstream::seek(std::int64_t) { return false; }

std::int64_t qvstream::size() { return -1; }

std::int64_t qvstream::tell() const { return bufpos_ + (cur_ - begin_); }

bool qvstream::open(const char*) { return false; }

void qvstream::close() {}

void qvstream::reset(char* end) {
  cur_ = begin_;
  end_ = end;
  gcount_ = 0;
  bufpos_ = 0;
  size_ = 0;
  sizeKnown_ = false;
  eof_ = false;
}

qvostream::qvostream() { end_ = begin_ + BufferSize; }

std::size_t qvostream::drain() {
  const auto n = static_cast<std::size_t>(cur_ - begin_);
  bufpos_ += static_cast<std::int64_t>(n);
  cur_ = begin_;
  return n;
}

void qvostream::writethrough() {
  flush();
  end_ = begin_ + 1;
}

bool qvostream::writeblocks(const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const std::size_t k = std::min(n, static_cast<std::size_t>(end_ - cur_));
    std::memcpy(cur_, p, k);
    cur_ += k;
    p += k;
    n -= k;
    if (cur_ == end_ && !flush()) return false;
  }
  return !eof_;
}

bool qvostream::copyfrom(qvistream& in) { return in.copyto(*this); }

namespace {

constexpr std::size_t FixedMax = FixedChars(6);
constexpr std::size_t IntegerMax = kIntChars;

template <class T>
auto integer(T v) {
  return [v](char* first, char*) { return FormatInt(first, v); };
}

// "%f" is "%.6f".
auto fixed(double v) {
  return [v](char* first, char*) { return FormatFixed(first, v, 6); };
}

template <class Char>
std::size_t cstrlen(const Char* s) {
  return std::strlen(reinterpret_cast<const char*>(s));
}

}  // namespace

qvostream& qvostream::operator<<(unsigned long long v) { emit<IntegerMax>(integer(v)); return *this; }
qvostream& qvostream::operator<<(double v) { emit<FixedMax>(fixed(v)); return *this; }
qvostream& qvostream::operator<<(float v) { emit<FixedMax>(fixed(v)); return *this; }
qvostream& qvostream::operator<<(unsigned long v) { emit<IntegerMax>(integer(v)); return *this; }
qvostream& qvostream::operator<<(long v) { emit<IntegerMax>(integer(v)); return *this; }
qvostream& qvostream::operator<<(unsigned int v) { emit<IntegerMax>(integer(v)); return *this; }
qvostream& qvostream::operator<<(int v) { emit<IntegerMax>(integer(v)); return *this; }
qvostream& qvostream::operator<<(unsigned short v) { emit<IntegerMax>(integer(v)); return *this; }
qvostream& qvostream::operator<<(short v) { emit<IntegerMax>(integer(v)); return *this; }

qvostream& qvostream::operator<<(char c) { put(c); return *this; }
qvostream& qvostream::operator<<(signed char c) { put(static_cast<char>(c)); return *this; }
qvostream& qvostream::operator<<(unsigned char c) { put(static_cast<char>(c)); return *this; }
qvostream& qvostream::operator<<(bool b) { put(b ? '1' : '0'); return *this; }

qvostream& qvostream::operator<<(const std::string& s) {
  write(s.data(), s.size());
  return *this;
}

qvostream& qvostream::operator<<(const char* s) {
  if (s) write(s, cstrlen(s));
  return *this;
}

qvostream& qvostream::operator<<(const signed char* s) {
  if (s) write(s, cstrlen(s));
  return *this;
}

qvostream& qvostream::operator<<(const unsigned char* s) {
  if (s) write(s, cstrlen(s));
  return *this;
}

qvostream& qvostream::operator<<(qvostream& (*manip)(qvostream&)) { return manip(*this); }

qvostream& endl(qvostream& out) {
  out.put('\n');
  out.flush();
  return out;
}

qvostream& ends(qvostream& out) {
  out.put('\0');
  return out;
}

qvostream& flush(qvostream& out) {
  out.flush();
  return out;
}

}  // namespace Pellar
