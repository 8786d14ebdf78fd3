// Byte helpers shared by the QVB payload readers and writers. Payload numbers
// are little-endian: fixed-width values as the host lays them out (the build
// refuses other hosts), counts and indices as container varints.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "sorvil/binary/qvbrecord.h"

namespace Tamrin::qvb {

static_assert(std::endian::native == std::endian::little, "QVB payloads are written in host byte order");

// Written before the values of the fixed numeric records; any other byte
// means the values are byte-swapped.
inline constexpr unsigned char kMarker = 0x3F;
inline constexpr unsigned char kVersion = 1;

class Bytes {
 public:
  explicit Bytes(std::string& out) : out_(out) {}
  void u8(unsigned v) { out_.push_back(static_cast<char>(v)); }
  void var(std::uint64_t v) { Sorvil::QVBAppendVarint(out_, v); }
  void zig(std::int64_t v) { var((static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63)); }
  template <class T>
  void raw(const T& v) {
    out_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  void raw(const void* data, std::size_t n) { out_.append(static_cast<const char*>(data), n); }
  void text(std::string_view t) {
    var(t.size());
    out_.append(t);
  }

 private:
  std::string& out_;
};

inline bool Var(Sorvil::QVBCursor& in, std::uint64_t& v) { return in.varint(v); }
inline bool Var32(Sorvil::QVBCursor& in, unsigned& v) {
  std::uint64_t x = 0;
  if (!in.varint(x, UINT32_MAX)) return false;
  v = static_cast<unsigned>(x);
  return true;
}
inline bool Zig(Sorvil::QVBCursor& in, std::int64_t& v) {
  std::uint64_t x = 0;
  if (!in.varint(x)) return false;
  v = static_cast<std::int64_t>(x >> 1) ^ -static_cast<std::int64_t>(x & 1);
  return true;
}
inline bool U8(Sorvil::QVBCursor& in, unsigned& v) {
  const int byte = in.get();
  v = static_cast<unsigned>(byte);
  return byte >= 0;
}
template <class T>
bool Raw(Sorvil::QVBCursor& in, T& v) {
  const unsigned char* bytes = nullptr;
  if (!in.take(sizeof v, bytes)) return false;
  std::memcpy(&v, bytes, sizeof v);
  return true;
}
// A length-prefixed byte string, the length checked against what is left.
inline bool Text(Sorvil::QVBCursor& in, std::string_view& t) {
  std::uint64_t n = 0;
  return in.varint(n) && n <= in.left() && in.take(static_cast<std::size_t>(n), t);
}

}  // namespace Tamrin::qvb
