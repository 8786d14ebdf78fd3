// QvBinary v2 record framing: every record, at every nesting level, is a tag,
// a payload length and the payload. There is no file header; a file is the
// concatenation of its top-level records.
//
// Numbers are little-endian base-128 varints whose LAST byte has the high bit
// set (0 is 0x80, 128 is 0x00 0x81). A tag is one code byte from a fixed
// dictionary, or 0 followed by a varint length and the name's bytes. A decoded
// payload length of 0 cannot be told from a failed read, so writers never
// emit empty payloads and readers treat 0 as a failure.
//
// The same decoders serve byte streams (top-level records, the tokenizer) and
// in-memory payloads (child records); both give the same messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Pellar {
class qvistream;
class qvostream;
}  // namespace Pellar

namespace Sorvil {

enum QVBReturn : unsigned {
  QVBSuccess = 0,
  QVBNoParentClass = 1,
  QVBCheckFailed = 2,
  QVBStreamFailed = 3,
  QVBIncorrectSize = 4,
  QVBContinue = 5,
  QVBReadTagFailed = 6,
  QVBCorruptHeader = 7,
  QVBEndOfFile = 8,
  QVBReadLengthFailed = 9,
  QVBTypeCheckFailed = 10,
  QVBIncorrectHandlerType = 11,
};

// "Success", "Incorrect Size", ...; "Unknown QVBReturn Error" for other values.
const char* QVBReturnText(unsigned code);

// Longest tag name that can be written or read.
inline constexpr std::size_t kQVBMaxTagName = 1023;

// The dictionary code of `name` (0 when it has none; only names of 6 to 32
// bytes are looked up), and the name of a code ("" for codes not in it).
std::uint8_t QVBTagCode(std::string_view name);
std::string_view QVBTagName(std::uint8_t code);

// An in-memory payload being read. Reads past the end fail; nothing here
// trusts a count it has not checked against left().
class QVBCursor {
 public:
  QVBCursor(const void* data, std::size_t n)
      : p_(static_cast<const unsigned char*>(data)), end_(p_ + n) {}
  explicit QVBCursor(std::string_view bytes) : QVBCursor(bytes.data(), bytes.size()) {}

  int get() { return p_ != end_ ? *p_++ : -1; }
  int peek() const { return p_ != end_ ? *p_ : -1; }
  std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
  bool at_end() const { return p_ == end_; }
  const unsigned char* pos() const { return p_; }
  // The next n bytes, consumed; false (consuming nothing) when fewer are left.
  bool take(std::size_t n, const unsigned char*& bytes) {
    if (n > left()) return false;
    bytes = p_;
    p_ += n;
    return true;
  }
  bool take(std::size_t n, std::string_view& bytes) {
    const unsigned char* b;
    if (!take(n, b)) return false;
    bytes = std::string_view(reinterpret_cast<const char*>(b), n);
    return true;
  }
  // A varint no larger than `maximum`, silently: false for a short, overlong
  // or too large number (the payload decoders report their own failure).
  bool varint(std::uint64_t& value, std::uint64_t maximum = UINT64_MAX) {
    // Most numbers of a payload fit in one byte: decoded here, inline.
    if (p_ != end_ && (*p_ & 0x80) && static_cast<std::uint64_t>(*p_ & 0x7F) <= maximum) {
      value = *p_++ & 0x7F;
      return true;
    }
    return long_varint(value, maximum);
  }

 private:
  bool long_varint(std::uint64_t& value, std::uint64_t maximum);

  const unsigned char* p_;
  const unsigned char* end_;
};

// A varint with the container's messages ("data size corrupt in QvBinary
// file", "end of file reached in QVBReadDataLength(Pellar::qvistream &)"); 0
// for every failure, as for a length of 0.
// `ended`, when given, tells whether the input ended inside the number.
std::uint64_t QVBReadDataLength(Pellar::qvistream& in, std::uint64_t maximum, bool* ended = nullptr);
std::uint64_t QVBReadDataLength(QVBCursor& in, std::uint64_t maximum, bool* ended = nullptr);

// Appends a varint: the 32-bit form takes at most 5 bytes, the 64-bit form 10.
void QVBAppendVarint(std::string& out, std::uint64_t value);
bool QVBWriteDataLength(Pellar::qvostream& out, std::uint32_t length);
bool QVBWriteDataLength64(Pellar::qvostream& out, std::uint64_t length);

// Reads one tag: the name as text (empty for a code outside the dictionary)
// and the code byte as read. False at the end of input and for an explicit
// name of length 0 or above kQVBMaxTagName ("error occurred while reading
// tag in QvBinary file (len = %d)").
bool QVBReadTag(Pellar::qvistream& in, std::string& name, std::uint8_t& code);
bool QVBReadTag(QVBCursor& in, std::string_view& name, std::uint8_t& code);
// The next record's tag name without consuming it; only a dictionary code
// can be peeked (an explicit name peeks as ""). False at the end of input.
bool QVBPeekTag(Pellar::qvistream& in, std::string& name);

// Writes `name` in canonical form (its code, or 0, length and bytes); false,
// writing nothing, for names of length 0 or above kQVBMaxTagName.
bool QVBAppendTag(std::string& out, std::string_view name);
bool QVBWriteTag(Pellar::qvostream& out, std::string_view name);
// Writes a given code byte and, when it is 0 and the name is not empty, the
// explicit name.
bool QVBWriteTag(Pellar::qvostream& out, std::uint8_t code, std::string_view name);

// Appends a whole record: tag, length, payload. False for an unwritable tag
// or an empty payload (whose length 0 would read as a failure).
bool QVBAppendRecord(std::string& out, std::string_view tag, std::string_view payload);

}  // namespace Sorvil
