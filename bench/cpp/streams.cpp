// Reads a file line by line through the byte streams, the way every text
// reader does, and prints what it saw so that the caller can check that the
// whole input went through:
//
//   nimbrel_bench_streams lines FILE        plain file stream
//   nimbrel_bench_streams gzip-lines FILE   file stream under a gzip stream
//
// Output: "lines <count> bytes <count>", the bytes being those getline
// returned (line ends and dropped control bytes not counted). Damaged gzip
// data end the read early with a message on standard error, so a caller
// compares the counts with what it expects. Exit status 1 when the file
// cannot be opened, 2 on a usage error.
#include <cstdint>
#include <cstring>
#include <string>

#include "pellar/qvgzstream.h"
#include "pellar/qvstream.h"

namespace {

using Pellar::qverr;
using Pellar::qvout;

struct Counts {
  std::uint64_t lines = 0;
  std::uint64_t bytes = 0;
};

// One string reused for every line, as the format readers do.
Counts countlines(Pellar::qvistream& in) {
  Counts counts;
  std::string line;
  while (in.getline(line)) {
    ++counts.lines;
    counts.bytes += line.size();
  }
  return counts;
}

int usage() {
  qverr() << "usage: nimbrel_bench_streams lines|gzip-lines FILE" << Pellar::endl;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return usage();
  const bool gzip = std::strcmp(argv[1], "gzip-lines") == 0;
  if (!gzip && std::strcmp(argv[1], "lines") != 0) return usage();

  Pellar::qvifstream file;
  if (!file.open(argv[2])) {
    qverr() << "nimbrel_bench_streams: cannot open " << argv[2] << Pellar::endl;
    return 1;
  }
  Counts counts;
  if (gzip) {
    Pellar::qvigzstream gz(file);
    counts = countlines(gz);
  } else {
    counts = countlines(file);
  }
  qvout() << "lines " << counts.lines << " bytes " << counts.bytes << Pellar::endl;
  return 0;
}
