// Opening molecule streams: files by name with gzip by suffix, the standard
// streams, memory, callers' streams; closing, and the messages on the way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pellar/qvioerror.h"
#include "pellar/qvsstream.h"
#include "pellar/qvstream.h"
#include "streams_test_support.h"
#include "support/captured_messages.h"

namespace {

using Tamrin::qvmolistream;
using Tamrin::qvmolostream;
using namespace streamtest;
using Titles = std::vector<std::string>;

const std::string kTwoRecords = "first 1\nsecond 2\n";

// ---- input files by name ----

struct OpenCase {
  const char* file;
  QvFormat format;
  bool gzip;
};

// ---- memory and callers' streams ----

TEST(OpenString, CallersStreamAndPushedBackLine) {
  Pellar::qvisstream bytes(kTwoRecords.data(), kTwoRecords.size());
  qvmolistream in;
  ASSERT_TRUE(in.openstream(bytes));
  EXPECT_EQ(&in.GetStream(), &bytes);
  std::string line;
  while (in.GetLine(line)) {
  }
  EXPECT_TRUE(in.at_end());
  // A pushed-back line comes first and delays the end.
  in.PushBackLine("again");
  EXPECT_FALSE(in.at_end());
  ASSERT_TRUE(in.GetLine(line));
  EXPECT_EQ(line, "again");
  EXPECT_FALSE(in.GetLine(line));
  in.close();
  EXPECT_NE(&in.GetStream(), &bytes);
}

// ---- output ----

// An output stream that has failed, or fails at its first byte.
class FailingOutput : public Pellar::qvostream {
 public:
  explicit FailingOutput(bool failed) {
    eof_ = failed;
    end_ = begin_ + 1;
  }
  bool flush() override {
    drain();
    eof_ = true;
    return false;
  }
};

}  // namespace
