// Compression done with zlib directly, so that the streams' own gzip is
// checked against an independent writer.
#pragma once

#include <zlib.h>

#include <string>
#include <string_view>

// `text` deflated at the default level; `window_bits` as zlib takes them
// (-15: a raw deflate stream, 16 + MAX_WBITS: a whole gzip member).
inline std::string Deflate(std::string_view text, int window_bits) {
  z_stream zs{};
  deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, static_cast<uLong>(text.size())) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}
