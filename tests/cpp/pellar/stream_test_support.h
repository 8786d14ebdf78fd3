// Helpers shared by the byte-stream tests.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "pellar/qvstream.h"
#include "support/scratch_dir.h"

namespace pellartest {

// A source that hands out its bytes a few at a time, so that any byte of the
// input can be made to sit at a buffer boundary.
class ChunkedStream : public Pellar::qvistream {
 public:
  ChunkedStream(std::string data, std::size_t chunk) : data_(std::move(data)), chunk_(chunk) {}
  bool refill() override {
    char* block = nextblock();
    const std::size_t n = std::min({chunk_, BufferSize, data_.size() - next_});
    std::memcpy(block, data_.data() + next_, n);
    next_ += n;
    end_ = block + n;
    eof_ = n == 0;
    return n > 0;
  }

 private:
  std::string data_;
  std::size_t chunk_;
  std::size_t next_ = 0;
};

// Everything written to file descriptor 2 while an instance lives.
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()) {
    Pellar::qverr().flush();
    std::fflush(stderr);
    saved_ = ::dup(2);
    ::dup2(::fileno(file_), 2);
  }
  ~StderrCapture() {
    restore();
    std::fclose(file_);
  }
  std::string text() {
    Pellar::qverr().flush();
    std::string out;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) out.push_back(static_cast<char>(c));
    return out;
  }

 private:
  void restore() {
    Pellar::qverr().flush();
    ::dup2(saved_, 2);
    ::close(saved_);
  }
  std::FILE* file_;
  int saved_;
};

// Half text-like runs (compressible), half noise, deterministic per seed.
inline std::string mixedbytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string out;
  out.reserve(n);
  while (out.size() < n) {
    const std::size_t run = gen() % 300 + 1;
    const bool noise = gen() & 1;
    for (std::size_t i = 0; i < run && out.size() < n; ++i)
      out.push_back(noise ? static_cast<char>(gen()) : "ACGT CNOS\n"[gen() % 10]);
  }
  return out;
}

// Equality of large byte strings, reported as sizes and the first difference
// instead of a dump of both.
inline testing::AssertionResult samebytes(const std::string& got, const std::string& want) {
  if (got == want) return testing::AssertionSuccess();
  const auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  return testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size()
                                     << ", first difference at offset " << (diff.first - got.begin());
}

inline std::vector<std::string> alllines(Pellar::qvistream& in) {
  std::vector<std::string> lines;
  for (std::string line; in.getline(line);) lines.push_back(line);
  return lines;
}

inline bool havetool(const char* name) {
  const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

}  // namespace pellartest
