#pragma once
// Buffered byte streams of the toolkit, independent of iostreams.
//
// Every stream owns one 64 KiB buffer inline in the object. Input streams load
// it block by block (refill) and the line and token readers scan it in place;
// output streams collect bytes in it and hand it on whenever it is full
// (flush). Streams are not thread-safe; the three standard streams are
// process-wide objects that live until the process ends.
//
// Failures: end of data and failed opens show as false results and the
// end-of-data (input) or failed (output) flag. Only the gzip streams throw
// QvIOError, and only where nothing else could report lost data.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Pellar {

namespace detail {

// First byte below 32 (TAB included) in [p, end), or end: 32 or 16 bytes at
// a step where SSE2 is there (every x86-64), then eight, then single bytes.
// Bytes of 128 and above are text (UTF-8) and never stop the scan.
inline const char* findcontrol(const char* p, const char* end) {
#if defined(__SSE2__)
  // Below 32 means the top three bits are clear.
  const __m128i top3 = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i zero = _mm_setzero_si128();
  // Two blocks a step while a line is long enough.
  while (end - p >= 32) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const auto low = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(x, top3), zero)));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(y, top3), zero)));
    if (const unsigned hit = low | (high << 16)) return p + std::countr_zero(hit);
    p += 32;
  }
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

}  // namespace detail

class qvistream;
class qvostream;

class qvstream {
 public:
  static constexpr std::size_t BufferSize = 0x10000;

  qvstream(const qvstream&) = delete;
  qvstream& operator=(const qvstream&) = delete;

  // Absolute repositioning; streams that cannot seek return false.
  virtual bool seek(std::int64_t pos);
  // Total size in bytes, or -1 when the stream cannot know it.
  virtual std::int64_t size();
  virtual std::int64_t tell() const;
  virtual ~qvstream();
  // Streams that are not opened by name (memory, wrappers) return false.
  virtual bool open(const char* name);
  virtual void close();

  // Input: no more data can be read. Output: the stream has failed.
  bool eof() const { return eof_; }

 protected:
  qvstream();
  // Empties the buffer and clears position, size cache and flag.
  void reset(char* end);

  char buffer_[BufferSize];
  char* cur_;
  char* begin_;
  char* end_;
  std::size_t gcount_ = 0;
  std::int64_t bufpos_ = 0;
  std::int64_t size_ = 0;
  bool sizeKnown_ = false;
  bool eof_ = false;
};

class qvistream : public qvstream {
 public:
  // Loads the next block into the buffer (unread buffered bytes are
  // dropped); false at end of data.
  virtual bool refill() = 0;
  // Copies everything not yet read to out; false when out failed.
  virtual bool copyto(qvostream& out);

  // Formatted reads: skip white space, take one token and convert its
  // longest numeric prefix; a token without one, or no token, gives 0.
  virtual qvistream& operator>>(double& v);
  virtual qvistream& operator>>(float& v);
  virtual qvistream& operator>>(int& v);
  virtual qvistream& operator>>(unsigned int& v);
  virtual qvistream& operator>>(long& v);
  virtual qvistream& operator>>(unsigned long& v);
  virtual qvistream& operator>>(long long& v);
  virtual qvistream& operator>>(unsigned long long& v);
  // Replaces s with everything not yet read; false when that was nothing.
  virtual bool readall(std::string& s);
  // Raw single-byte reads; at end of data the argument is left unchanged.
  virtual qvistream& operator>>(char& c);
  virtual qvistream& operator>>(signed char& c);
  virtual qvistream& operator>>(unsigned char& c);
  virtual qvistream& skipbyte(bool& got);
  virtual qvistream& operator>>(qvistream& (*manip)(qvistream&));

  // The line rule shared by every text reader: a line ends at LF, or at CR
  // together with all CRs after it and at most one LF; bytes below 32 other
  // than TAB are dropped. False only when not a single byte could be read.
  // The view lies in the stream's buffer (or, for a line that crosses the
  // buffer's end, in a copy the stream keeps) and stays valid until the next
  // read of any kind from this stream.
  bool getline(std::string_view& line) {
    // Most lines lie whole in the buffer and end in a plain LF.
    if (cur_ == end_) return getlinerest(line, nullptr);
    const char* stop = detail::findcontrol(cur_, end_);
    if (stop == end_ || *stop != '\n') return getlinerest(line, stop);
    line = std::string_view(cur_, static_cast<std::size_t>(stop - cur_));
    cur_ += stop - cur_ + 1;
    return true;
  }
  // Same, copied.
  bool getline(std::string& line) {
    std::string_view view;
    const bool got = getline(view);
    line.assign(view.data(), view.size());
    return got;
  }
  // Same, keeping at most size-1 bytes; the rest of a longer line is
  // skipped. The buffer is always terminated when size > 0.
  bool getline(char* buf, std::size_t size);
  // Skips white space and control bytes (line ends included), then reads up
  // to the next white-space byte, which is left unread. Control bytes inside
  // are dropped. An overlong token is cut and the rest of its line skipped.
  // False when the data end before a token starts.
  bool gettoken(char* buf, std::size_t size);
  bool skipline();
  // Skips n lines as getline reads them, without handing them out: lines
  // that end in LF inside the buffer are counted a block at a time. False
  // when the data end before n lines.
  bool skiplines(std::uint64_t n);
  // The first byte of the next line as getline gives it: the control bytes
  // it would drop are consumed, an empty line shows as '\n', the end of
  // data as -1. Nothing else is consumed.
  int peekline();
  // Bulk reads; return the count moved, short only at end of data.
  std::size_t read(void* dst, std::size_t n);
  std::size_t read(std::string& dst, std::size_t n);
  // False when the data end before n bytes; n <= 0 reports n == 0.
  bool skip(std::int64_t n);
  // The position up to which nothing but white space and control bytes lies
  // ahead, as far as the buffer shows (its end when every buffered byte is
  // such a byte), or -1 when something else is ahead; with `anybyte` every
  // byte counts as something. Loads a block only when none is buffered, so
  // no unread byte is dropped. Lets a caller tell a record cut short from
  // trailing blank lines once a reader has failed at the end of the data.
  std::int64_t blankthrough(bool anybyte);

  // Next byte (0..255) or -1 at end of data; peek leaves it unread.
  int get() { return (cur_ != end_ || underflow()) ? static_cast<unsigned char>(*cur_++) : -1; }
  int peek() { return (cur_ != end_ || underflow()) ? static_cast<unsigned char>(*cur_) : -1; }

  std::size_t gcount() const { return gcount_; }
  std::size_t buffered() const { return static_cast<std::size_t>(end_ - cur_); }
  // The bytes read ahead and not yet taken, loading the next block when
  // there are none; valid until the next read. skip() takes them.
  std::string_view lookahead() {
    peek();
    return std::string_view(cur_, buffered());
  }
  // Nothing buffered and the source is exhausted.
  bool at_end() const { return cur_ == end_ && eof_; }
  // Why the data stopped before their real end (a gzip member cut short or
  // corrupt, a failed read), or null while they are whole. A reader cannot
  // tell a file cut at a line end from a shorter file; this can.
  const char* damage() const { return damage_; }

 protected:
  qvistream();
  // Keeps the first reason: later ones are consequences of it.
  void setdamage(const char* why) {
    if (!damage_) damage_ = why;
  }
  const char* damage_ = nullptr;
  // Called by refill implementations: accounts for the current block and
  // returns the empty buffer to fill; set end_ after filling it.
  char* nextblock();
  // A refill for streams whose data lie in memory: loads the next block from
  // `data`, whose first byte sits at stream position `origin`; false, at the
  // end of data, when nothing of it is left from there.
  bool refillfrom(std::string_view data, std::int64_t origin) {
    char* block = nextblock();
    const auto offset = static_cast<std::size_t>(bufpos_ - origin);
    const std::size_t left = offset < data.size() ? data.size() - offset : 0;
    const std::size_t n = left < BufferSize ? left : BufferSize;
    if (n == 0) {
      eof_ = true;
      return false;
    }
    std::memcpy(block, data.data() + offset, n);
    end_ = block + n;
    return true;
  }
  // Refills an exhausted buffer unless the end was already seen.
  bool underflow() { return !eof_ && refill(); }

 private:
  // getline past its common case: `p` is where the scan of the buffered
  // bytes stopped, or null when nothing is buffered.
  bool getlinerest(std::string_view& line, const char* p);
  bool straddle(const char* start, const char* w, const char* p, std::string_view& line);
  void eatcrtail();
  // Counts off whole lines in the buffer for skiplines; returns how many of
  // the n are left.
  std::uint64_t countlines(std::uint64_t n);
  template <class T>
  qvistream& readnumber(T& v);

  std::string scratch_;  // a line that crossed the buffer's end
};

qvistream& ws(qvistream& in);

class qvostream : public qvstream {
 public:
  // Hands the buffered bytes on; false when the stream has failed.
  virtual bool flush() = 0;
  // Copies everything not yet read from in; false when this stream failed.
  virtual bool copyfrom(qvistream& in);

  // Digits as printf gives them: %llu, %f, %f, %lu, %ld, %u, %d, %hu, %hd.
  virtual qvostream& operator<<(unsigned long long v);
  virtual qvostream& operator<<(double v);
  virtual qvostream& operator<<(float v);
  virtual qvostream& operator<<(unsigned long v);
  virtual qvostream& operator<<(long v);
  virtual qvostream& operator<<(unsigned int v);
  virtual qvostream& operator<<(int v);
  virtual qvostream& operator<<(unsigned short v);
  virtual qvostream& operator<<(short v);
  virtual qvostream& operator<<(char c);
  virtual qvostream& operator<<(signed char c);
  virtual qvostream& operator<<(unsigned char c);
  // '0' or '1'.
  virtual qvostream& operator<<(bool b);
  virtual qvostream& operator<<(const std::string& s);
  // A null pointer writes nothing.
  virtual qvostream& operator<<(const char* s);
  virtual qvostream& operator<<(const signed char* s);
  virtual qvostream& operator<<(const unsigned char* s);
  virtual qvostream& operator<<(qvostream& (*manip)(qvostream&));

  // Copies into the buffer, flushing each time it fills; false when the
  // stream has failed.
  bool write(const void* data, std::size_t n) {
    // An empty view may hold no pointer at all, which memcpy must not get.
    if (n == 0) return !eof_;
    if (n >= static_cast<std::size_t>(end_ - cur_)) return writeblocks(data, n);
    std::memcpy(cur_, data, n);
    cur_ += n;
    return !eof_;
  }
  // Writes what format(first, last) puts at first, at most MaxLen bytes,
  // returning their end: straight into the buffer when it has the room,
  // else through a scratch array; either way the buffer never ends up full.
  template <std::size_t MaxLen, class Format>
  void emit(Format format) {
    if (static_cast<std::size_t>(end_ - cur_) > MaxLen) {
      cur_ = format(cur_, cur_ + MaxLen);
      return;
    }
    char scratch[MaxLen];
    write(scratch, static_cast<std::size_t>(format(scratch, scratch + MaxLen) - scratch));
  }
  void put(char c) {
    *cur_++ = c;
    if (cur_ == end_) flush();
  }
  bool failed() const { return eof_; }

 protected:
  qvostream();
  // Called by flush implementations: accounts for the buffered bytes, empties
  // the buffer and returns their count (they stay readable at begin_).
  std::size_t drain();

 private:
  friend struct StandardStreams;
  // write() for data that fill the buffer.
  bool writeblocks(const void* data, std::size_t n);
  // From now on every byte is handed on at once; used for the standard
  // streams once the process is exiting, when no later flush will come.
  void writethrough();
};

qvostream& endl(qvostream& out);
qvostream& ends(qvostream& out);
qvostream& flush(qvostream& out);

// Reads a file descriptor. Descriptors 0, 1 and 2 are never closed.
class qvifstream : public qvistream {
 public:
  qvifstream() = default;
  explicit qvifstream(int fd);
  ~qvifstream() override;
  bool seek(std::int64_t pos) override;
  std::int64_t size() override;
  bool open(const char* name) override;
  void close() override;
  bool refill() override;
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Writes a file descriptor. Descriptors 0, 1 and 2 are never closed.
class qvofstream : public qvostream {
 public:
  qvofstream() = default;
  explicit qvofstream(int fd);
  ~qvofstream() override;
  bool seek(std::int64_t pos) override;
  std::int64_t size() override;
  // Creates or truncates.
  bool open(const char* name) override;
  void close() override;
  bool flush() override;
  int fd() const { return fd_; }
  // Why output was lost since the open: the errno of the first write or
  // close that failed (ENOSPC for a short write), ENOENT when the file was
  // removed while open (its data went nowhere); 0 while nothing was lost.
  // Kept after close, which is where the last of these show.
  int error() const { return error_; }

 protected:
  bool openfile(const char* name, int flags);

 private:
  int fd_ = -1;
  int error_ = 0;
};

// An output file opened for reading and writing without truncation, so that
// parts already written can be rewritten in place after a seek.
class qviofstream : public qvofstream {
 public:
  qviofstream() = default;
  ~qviofstream() override;
  bool open(const char* name) override;
};

// Process-wide standard streams: created on first use (also from static
// initialisers) and never destroyed, so they work during static destruction.
qvistream& qvin();
qvostream& qvout();
qvostream& qverr();

}  // namespace Pellar
