// Feeds arbitrary bytes through the line, token and number readers of an
// in-memory stream and checks what the line rule promises about the result.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pellar/qvsstream.h"

namespace {

void require(bool ok) {
  if (!ok) __builtin_trap();
}

bool hascontrol(const char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c < 32 && c != '\t') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Pellar::qvisstream in(data, size);
  std::size_t total = 0;
  std::vector<std::string> lines;
  for (std::string line; in.getline(line);) {
    require(!hascontrol(line.data(), line.size()));
    total += line.size();
    lines.push_back(line);
  }
  require(total <= size);
  require(in.at_end());

  // A small fixed buffer cuts lines; the same number of lines must come out.
  in.load(data, size);
  std::size_t cut = 0;
  for (char buf[5]; in.getline(buf, sizeof buf);) {
    require(std::strlen(buf) < sizeof buf);
    ++cut;
  }
  in.load(data, size);
  std::size_t skipped = 0;
  while (in.skipline()) ++skipped;
  require(cut == skipped);

  // A bulk skip of k lines ends where k getline calls do.
  const std::size_t count = lines.size();
  for (const std::size_t k : {count / 3, count / 2 + 1, count}) {
    in.load(data, size);
    require(in.skiplines(k) == (k <= count));
    std::string line;
    require(in.getline(line) == (k < count));
    if (k < count) require(line == lines[k]);
  }

  in.load(data, size);
  for (char token[8]; in.gettoken(token, sizeof token);) {
    for (const char* p = token; *p; ++p) require(static_cast<unsigned char>(*p) > 32);
  }

  in.load(data, size);
  while (!in.at_end()) {
    double d;
    long l;
    in >> d >> l;
  }
  return 0;
}
