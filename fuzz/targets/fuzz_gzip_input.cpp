// Feeds arbitrary bytes through a gzip input stream (damaged members, odd
// header fields, plain data) and reads all lines and tokens; then checks that
// the same bytes survive a round trip through the gzip output stream.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pellar/qvgzstream.h"
#include "pellar/qvsstream.h"

namespace {

void require(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    Pellar::qvisstream source(data, size);
    Pellar::qvigzstream gz(source);
    for (std::string line; gz.getline(line);) {
    }
    require(gz.at_end());
  }
  {
    Pellar::qvisstream source(data, size);
    Pellar::qvigzstream gz(source);
    for (char token[16]; gz.gettoken(token, sizeof token);) {
    }
  }

  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Pellar::qvosstream packed;
  {
    Pellar::qvogzstream gz(packed);
    gz << bytes;
    gz.close();
  }
  const std::string member = packed.str();
  Pellar::qvisstream source(member.data(), member.size());
  Pellar::qvigzstream gz(source);
  std::string back;
  gz.readall(back);
  require(back == bytes);
  return 0;
}
