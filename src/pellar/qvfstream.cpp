// File streams on operating-system descriptors, and the standard streams.
#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pellar/qvreport.h"
#include "pellar/qvstream.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace Pellar {

namespace {

constexpr mode_t FileMode = 0644;

// The standard descriptors belong to the process, not to a stream.
void release(int& fd) {
  if (fd > 2) ::close(fd);
  fd = -1;
}

// Seeks to the end once and restores the position.
std::int64_t filesize(int fd) {
  const off_t here = ::lseek(fd, 0, SEEK_CUR);
  if (here < 0) return -1;
  const off_t end = ::lseek(fd, 0, SEEK_END);
  ::lseek(fd, here, SEEK_SET);
  return end;
}

}  // namespace

// ---- input ----

qvifstream::qvifstream(int fd) : fd_(fd) {}

qvifstream::~qvifstream() { close(); }

bool qvifstream::open(const char* name) {
  close();
  reset(begin_);
  damage_ = nullptr;
  if (name) fd_ = ::open(name, O_RDONLY | O_BINARY, FileMode);
  eof_ = fd_ < 0;
  return fd_ >= 0;
}

void qvifstream::close() {
  release(fd_);
  cur_ = end_ = begin_;
  eof_ = true;
}

bool qvifstream::refill() {
  char* block = nextblock();
  ssize_t n = -1;
  if (fd_ >= 0) {
    do {
      n = ::read(fd_, block, BufferSize);
    } while (n < 0 && errno == EINTR);
  }
  if (n <= 0) {
    if (n < 0 && fd_ >= 0) setdamage("read error");
    eof_ = true;
    return false;
  }
  end_ = block + n;
  return true;
}

bool qvifstream::seek(std::int64_t pos) {
  if (fd_ < 0 || ::lseek(fd_, pos, SEEK_SET) != pos) return false;
  cur_ = end_ = begin_;
  bufpos_ = pos;
  eof_ = false;
  refill();
  return true;
}

std::int64_t qvifstream::size() {
  if (!sizeKnown_ && fd_ >= 0) {
    size_ = filesize(fd_);
    sizeKnown_ = size_ >= 0;
  }
  return sizeKnown_ ? size_ : -1;
}

// ---- output ----

qvofstream::qvofstream(int fd) : fd_(fd) {}

qvofstream::~qvofstream() { close(); }

bool qvofstream::openfile(const char* name, int flags) {
  close();
  reset(begin_ + BufferSize);
  error_ = 0;
  if (name) fd_ = ::open(name, flags | O_BINARY, FileMode);
  eof_ = fd_ < 0;
  return fd_ >= 0;
}

bool qvofstream::open(const char* name) { return openfile(name, O_WRONLY | O_CREAT | O_TRUNC); }

void qvofstream::close() {
  if (fd_ >= 0) {
    flush();
    // A file unlinked while open took everything written to it along.
    struct stat st;
    if (!error_ && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 0) error_ = ENOENT;
    // Some file systems report a failed write-back only here.
    if (fd_ > 2 && ::close(fd_) != 0 && !error_ && errno != EINTR) error_ = errno;
    fd_ = -1;
  }
  eof_ = true;
}

// One write per buffer. A write that moves fewer bytes than asked (a full
// disk, a file size limit, a closed pipe) fails the stream rather than being
// retried, so a caller learns of the loss at the flush that met it; only a
// write interrupted by a signal before it moved anything is repeated. The
// bytes are dropped either way so that the buffer never overflows.
bool qvofstream::flush() {
  const std::size_t n = drain();
  if (n == 0 || eof_) return !eof_;
  if (fd_ < 0) {
    eof_ = true;
    return false;
  }
  ssize_t k;
  do {
    k = ::write(fd_, begin_, n);
  } while (k < 0 && errno == EINTR);
  if (k < 0 || static_cast<std::size_t>(k) != n) {
    eof_ = true;
    if (!error_) error_ = k < 0 ? errno : ENOSPC;
  }
  return !eof_;
}

bool qvofstream::seek(std::int64_t pos) {
  if (!flush() || ::lseek(fd_, pos, SEEK_SET) != pos) return false;
  bufpos_ = pos;
  return true;
}

std::int64_t qvofstream::size() {
  if (fd_ < 0 || !flush()) return -1;
  return filesize(fd_);
}

qviofstream::~qviofstream() { close(); }

bool qviofstream::open(const char* name) { return openfile(name, O_RDWR | O_CREAT); }

// ---- standard streams ----

qvistream& qvin() {
  static qvifstream* const in = new qvifstream(0);
  return *in;
}

qvostream& qvout() {
  static qvofstream* const out = new qvofstream(1);
  return *out;
}

qvostream& qverr() {
  static qvofstream* const err = new qvofstream(2);
  return *err;
}

namespace {
thread_local QvReportFunction thread_report = nullptr;
std::atomic<QvReportFunction> process_report{nullptr};
}  // namespace

void QvSetThreadReport(QvReportFunction receiver) { thread_report = receiver; }
void QvSetProcessReport(QvReportFunction receiver) { process_report.store(receiver, std::memory_order_release); }

void QvReport(const std::string& text) {
  if (thread_report && thread_report(text.c_str())) return;
  const QvReportFunction process = process_report.load(std::memory_order_acquire);
  if (process && process(text.c_str())) return;
  qverr() << text << endl;
}

// The standard streams are never destroyed, so what they buffer would be
// lost at exit. This object's destructor flushes them once static
// destruction reaches it and makes them write through from then on, for
// destructors that still print after it.
struct StandardStreams {
  StandardStreams() {
    qvout();
    qverr();
  }
  ~StandardStreams() {
    qvout().writethrough();
    qverr().writethrough();
  }
};

namespace {
StandardStreams standardStreams;
}  // namespace

}  // namespace Pellar
