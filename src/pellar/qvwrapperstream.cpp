#include "pellar/qvwrapperstream.h"

namespace Pellar {

qviwrapperstream::qviwrapperstream(qvistream& source) : source_(&source) {}

qviwrapperstream::~qviwrapperstream() = default;

void qviwrapperstream::close() {
  cur_ = end_ = begin_;
  eof_ = true;
}

bool qviwrapperstream::refill() {
  char* block = nextblock();
  const std::size_t n = source_->read(block, BufferSize);
  end_ = block + n;
  eof_ = n == 0;
  return n > 0;
}

qvowrapperstream::qvowrapperstream(qvostream& target) : target_(&target) {}

// Derived streams have closed themselves by now (their buffer is empty and
// failed), so this only finishes a plain wrapper.
qvowrapperstream::~qvowrapperstream() { qvowrapperstream::close(); }

void qvowrapperstream::close() {
  qvowrapperstream::flush();
  eof_ = true;
}

bool qvowrapperstream::flush() {
  const std::size_t n = drain();
  if (eof_) return false;
  if (!target_->write(begin_, n) || !target_->flush()) eof_ = true;
  return !eof_;
}

}  // namespace Pellar
