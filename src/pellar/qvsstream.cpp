#include "pellar/qvsstream.h"

#include <algorithm>
#include <cstring>

namespace Pellar {

qvisstream::qvisstream() { eof_ = true; }

qvisstream::qvisstream(const void* data, std::size_t n) { load(data, n); }

qvisstream::~qvisstream() = default;

bool qvisstream::load(const void* data, std::size_t n) {
  copy_.assign(static_cast<const char*>(data), n);
  view(copy_);
  return n > 0;
}

void qvisstream::view(std::string_view data) {
  reset(begin_);
  data_ = data;
  eof_ = data.empty();
}

bool qvisstream::refill() { return refillfrom(data_, 0); }

bool qvisstream::seek(std::int64_t pos) {
  if (pos < 0 || static_cast<std::uint64_t>(pos) > data_.size()) return false;
  cur_ = end_ = begin_;
  bufpos_ = pos;
  eof_ = false;
  refill();
  return true;
}

std::int64_t qvisstream::size() { return static_cast<std::int64_t>(data_.size()); }

void qvisstream::close() {
  data_ = {};
  copy_.clear();
  copy_.shrink_to_fit();
  cur_ = end_ = begin_;
  eof_ = true;
}

qvosstream::qvosstream() = default;

qvosstream::~qvosstream() = default;

bool qvosstream::flush() {
  const std::size_t n = drain();
  if (eof_) return false;
  data_.append(begin_, n);
  return true;
}

void qvosstream::close() {
  flush();
  eof_ = true;
}

std::string qvosstream::str() {
  flush();
  return data_;
}

void qvosstream::clear() {
  data_.clear();
  reset(begin_ + BufferSize);
}

}  // namespace Pellar
