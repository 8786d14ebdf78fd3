#include "pellar/qvgzstream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "pellar/qvioerror.h"
#include "pellar/qvreport.h"

namespace Pellar {

namespace {

constexpr int RawDeflate = -MAX_WBITS;
constexpr unsigned FlagHeaderCrc = 0x02;
constexpr unsigned FlagExtra = 0x04;
constexpr unsigned FlagName = 0x08;
constexpr unsigned FlagComment = 0x10;
constexpr unsigned FlagReserved = 0xE0;
constexpr unsigned char MemberHeader[10] = {0x1F, 0x8B, 0x08, 0x00, 0, 0, 0, 0, 0x00, 0x0B};

// zlib's own text, when it gave one, follows the message after a colon.
void report(const char* what, const char* detail) {
  std::string text = what;
  if (detail && *detail) text.append(": ").append(detail);
  QvReport(text);
}

void putle32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

// ---- input ----

qvigzstream::qvigzstream(qvistream& source) : qviwrapperstream(source) {}

qvigzstream::~qvigzstream() { qvigzstream::close(); }

void qvigzstream::close() {
  if (zlive_ && inflateEnd(&zs_) != Z_OK) report("qvigzstream clear error", nullptr);
  zlive_ = false;
  mode_ = Mode::Done;
  qviwrapperstream::close();
}

void qvigzstream::fail(const char* what) {
  report("qvigzstream fill error", what);
  setdamage(what && *what ? what : "corrupt gzip data");
  mode_ = Mode::Done;
}

// Tops up the compressed-input buffer, keeping unconsumed bytes in front.
bool qvigzstream::fetch() {
  if (zs_.avail_in > 0 && zs_.next_in != in_) std::memmove(in_, zs_.next_in, zs_.avail_in);
  zs_.next_in = in_;
  const std::size_t n = source().read(in_ + zs_.avail_in, BlockSize - zs_.avail_in);
  zs_.avail_in += static_cast<uInt>(n);
  return n > 0;
}

int qvigzstream::nextbyte() {
  if (zs_.avail_in == 0 && !fetch()) return -1;
  --zs_.avail_in;
  return *zs_.next_in++;
}

bool qvigzstream::start() {
  zs_.next_in = in_;
  zs_.avail_in = 0;
  if (!fetch()) return false;
  if (inflateInit2(&zs_, RawDeflate) != Z_OK) {
    report("qvigzstream init error", zs_.msg);
    return false;
  }
  zlive_ = true;
  switch (header()) {
    case Header::Member: mode_ = Mode::Inflate; break;
    case Header::None: mode_ = Mode::Plain; break;
    case Header::Bad: return false;
  }
  return true;
}

qvigzstream::Header qvigzstream::bad(const char* what) {
  fail(what);
  return Header::Bad;
}

// Without the magic nothing is consumed: at the start the data are then
// passed through as they are; after a member they are ignored. The optional
// fields are skipped, and the header CRC checked when there is one.
qvigzstream::Header qvigzstream::header() {
  while (zs_.avail_in < 2 && fetch()) {
  }
  if (zs_.avail_in < 2 || zs_.next_in[0] != 0x1F || zs_.next_in[1] != 0x8B) return Header::None;
  uLong crc = crc32(0, Z_NULL, 0);
  bool truncated = false;
  auto byte = [&]() {
    const int b = nextbyte();
    truncated |= b < 0;
    const auto c = static_cast<Bytef>(b);
    if (b >= 0) crc = crc32(crc, &c, 1);
    return b;
  };
  int fixed[10];
  for (int& b : fixed) b = byte();
  if (truncated) return bad("unexpected end of file");
  if (fixed[2] != Z_DEFLATED) return bad("unknown compression method");
  const auto flags = static_cast<unsigned>(fixed[3]);
  if (flags & FlagReserved) return bad("unknown header flags set");
  if (flags & FlagExtra) {
    const int lo = byte();
    const int hi = byte();
    for (int n = truncated ? 0 : lo | (hi << 8); n > 0 && byte() >= 0; --n) {
    }
  }
  for (const unsigned text : {FlagName, FlagComment}) {
    if (!(flags & text)) continue;
    for (int b = byte(); b > 0; b = byte()) {
    }
  }
  if (flags & FlagHeaderCrc) {
    const int lo = nextbyte();
    const int hi = nextbyte();
    truncated |= lo < 0 || hi < 0;
    if (!truncated && static_cast<uLong>(lo | (hi << 8)) != (crc & 0xFFFF))
      return bad("header crc mismatch");
  }
  if (truncated) return bad("unexpected end of file");
  return Header::Member;
}

bool qvigzstream::readle32(std::uint32_t& v) {
  v = 0;
  for (int i = 0; i < 4; ++i) {
    const int b = nextbyte();
    if (b < 0) return false;
    v |= static_cast<std::uint32_t>(b) << (8 * i);
  }
  return true;
}

// False only for a CRC mismatch; a trailer cut short ends the stream with an
// error but keeps the data already inflated. The length is not compared.
bool qvigzstream::trailer() {
  std::uint32_t crc = 0;
  std::uint32_t length = 0;
  if (!readle32(crc) || (crc == crc_ && !readle32(length))) {
    fail("unexpected end of file");
    return true;
  }
  if (crc != crc_) {
    fail("incorrect data check");
    return false;
  }
  return true;
}

std::size_t qvigzstream::inflateblock(char* block) {
  zs_.next_out = reinterpret_cast<Bytef*>(block);
  zs_.avail_out = BufferSize;
  Bytef* unsummed = zs_.next_out;
  while (zs_.avail_out > 0 && mode_ == Mode::Inflate) {
    if (zs_.avail_in == 0 && !fetch()) {
      fail("unexpected end of file");
      break;
    }
    const int rc = inflate(&zs_, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      crc_ = static_cast<std::uint32_t>(crc32(crc_, unsummed, static_cast<uInt>(zs_.next_out - unsummed)));
      unsummed = zs_.next_out;
      if (!trailer()) return 0;
      if (mode_ != Mode::Inflate) break;
      if (header() == Header::Member) {
        inflateReset(&zs_);
        crc_ = 0;
      } else {
        mode_ = Mode::Done;
      }
    } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && zs_.avail_in == 0)) {
      fail(zs_.msg);
    }
  }
  crc_ = static_cast<std::uint32_t>(crc32(crc_, unsummed, static_cast<uInt>(zs_.next_out - unsummed)));
  return BufferSize - zs_.avail_out;
}

// Bytes already fetched while looking for the magic come first.
std::size_t qvigzstream::plainblock(char* block) {
  const std::size_t n = std::min<std::size_t>(zs_.avail_in, BufferSize);
  std::memcpy(block, zs_.next_in, n);
  zs_.next_in += n;
  zs_.avail_in -= static_cast<uInt>(n);
  return n + source().read(block + n, BufferSize - n);
}

bool qvigzstream::refill() {
  char* block = nextblock();
  if (mode_ == Mode::Start && !start()) mode_ = Mode::Done;
  std::size_t n = 0;
  if (mode_ == Mode::Inflate) n = inflateblock(block);
  else if (mode_ == Mode::Plain) n = plainblock(block);
  end_ = block + n;
  eof_ = n == 0;
  return n > 0;
}

// ---- output ----

qvogzstream::qvogzstream(qvostream& target) : qvowrapperstream(target) {
  if (deflateInit2(&zs_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, RawDeflate, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    report("qvogzstream init error", zs_.msg);
    eof_ = true;
    return;
  }
  zlive_ = true;
  zs_.next_out = out_;
  zs_.avail_out = BlockSize;
  if (!target.write(MemberHeader, sizeof MemberHeader)) eof_ = true;
}

qvogzstream::~qvogzstream() {
  try {
    close();
  } catch (const QvIOError& e) {
    QvReport(std::string("Caught QvIOError during qvogzstream destruction: ") + e.what());
  } catch (const std::exception& e) {
    QvReport(std::string("Caught exception during qvogzstream destruction: ") + e.what());
  }
}

bool qvogzstream::emit(std::size_t n) {
  const bool ok = target().write(out_, n);
  zs_.next_out = out_;
  zs_.avail_out = BlockSize;
  return ok;
}

// Z_NO_FLUSH: until all input is taken; Z_FINISH: until the member ends.
// Output goes to the target only in whole blocks, except at the very end.
bool qvogzstream::deflateall(int mode) {
  for (;;) {
    const int rc = deflate(&zs_, mode);
    if (rc == Z_STREAM_ERROR) {
      report("qvogzstream flush error", zs_.msg);
      return false;
    }
    const bool done = mode == Z_FINISH ? rc == Z_STREAM_END : zs_.avail_in == 0 && zs_.avail_out > 0;
    if (zs_.avail_out == 0 && !emit(BlockSize)) return false;
    if (done) return true;
  }
}

bool qvogzstream::flush() {
  const std::size_t n = drain();
  if (eof_) return false;
  crc_ = static_cast<std::uint32_t>(crc32(crc_, reinterpret_cast<Bytef*>(begin_), static_cast<uInt>(n)));
  length_ += static_cast<std::uint32_t>(n);
  zs_.next_in = reinterpret_cast<Bytef*>(begin_);
  zs_.avail_in = static_cast<uInt>(n);
  if (!deflateall(Z_NO_FLUSH)) eof_ = true;
  return !eof_;
}

bool qvogzstream::finish() {
  if (!flush() || !deflateall(Z_FINISH) || !emit(BlockSize - zs_.avail_out)) return false;
  unsigned char trailer[8];
  putle32(trailer, crc_);
  putle32(trailer + 4, length_);
  return target().write(trailer, sizeof trailer);
}

void qvogzstream::close() {
  if (!open_) return;
  open_ = false;
  const bool ok = zlive_ && finish();
  const int rc = zlive_ ? deflateEnd(&zs_) : Z_OK;
  if (ok && rc != Z_OK) report("qvogzstream clear error", zs_.msg);
  zlive_ = false;
  cur_ = begin_;
  eof_ = true;
  if (!ok) throw QvIOError("qvogzstream close error: the gzip member could not be completed");
}

}  // namespace Pellar
