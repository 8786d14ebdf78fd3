#pragma once
// gzip (RFC 1952) over other streams, with the header and trailer handled
// here and zlib doing raw deflate.
//
// Input reads concatenated members as one stream and passes data that do not
// start with the gzip magic through unchanged. A member whose CRC-32 does not
// match its trailer is corrupt: the refill that finds it returns false. A
// truncated member delivers what could be inflated, then ends with an error.
// Trailing bytes after a member that are not another member are ignored.
//
// Output writes one member (modification time 0, OS byte 0x0B). Close it
// before the target stream is closed: close writes the trailer, and throws
// QvIOError when the member could not be completed.
//
// zlib failures are printed on the standard error stream.
#include <cstdint>

#include <zlib.h>

#include "pellar/qvwrapperstream.h"

namespace Pellar {

class qvigzstream : public qviwrapperstream {
 public:
  // Reads nothing yet: the header is parsed at the first refill.
  explicit qvigzstream(qvistream& source);
  ~qvigzstream() override;
  void close() override;
  bool refill() override;

 private:
  enum class Mode { Start, Inflate, Plain, Done };
  enum class Header { Member, None, Bad };
  static constexpr std::size_t BlockSize = 16384;

  bool start();
  bool fetch();
  int nextbyte();
  Header header();
  Header bad(const char* what);
  bool readle32(std::uint32_t& v);
  bool trailer();
  std::size_t inflateblock(char* block);
  std::size_t plainblock(char* block);
  void fail(const char* what);

  z_stream zs_{};
  unsigned char in_[BlockSize];
  std::uint32_t crc_ = 0;
  Mode mode_ = Mode::Start;
  bool zlive_ = false;
};

class qvogzstream : public qvowrapperstream {
 public:
  // Sets up the deflater and writes the member header to the target.
  explicit qvogzstream(qvostream& target);
  // Closes; a QvIOError is caught and printed.
  ~qvogzstream() override;
  // Deflates the buffered bytes; whole compressed blocks go to the target.
  bool flush() override;
  // Finishes the member and writes the trailer; throws QvIOError when the
  // member could not be completed. Closing again does nothing.
  void close() override;

 private:
  static constexpr std::size_t BlockSize = 16384;

  bool deflateall(int mode);
  bool emit(std::size_t n);
  bool finish();

  z_stream zs_{};
  unsigned char out_[BlockSize];
  std::uint32_t crc_ = 0;
  std::uint32_t length_ = 0;
  bool zlive_ = false;
  bool open_ = true;
};

}  // namespace Pellar
