// File streams on descriptors, and the process-wide standard streams.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "pellar/qvstream.h"
#include "stream_test_support.h"

using Pellar::qvifstream;
using Pellar::qvofstream;

namespace {

constexpr std::size_t Block = Pellar::qvstream::BufferSize;

bool isopen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(FileStreams, WriteThenReadBack) {
  ScratchDir dir;
  const std::string path = dir.file("out.txt");
  const std::string data = pellartest::mixedbytes(2 * Block + 321, 1);
  {
    qvofstream out;
    ASSERT_TRUE(out.open(path.c_str()));
    EXPECT_FALSE(out.failed());
    ASSERT_TRUE(out.write(data.data(), data.size()));
    EXPECT_EQ(out.size(), static_cast<std::int64_t>(data.size())) << "size flushes first";
  }
  EXPECT_TRUE(pellartest::samebytes(ReadFile(path), data)) << "destruction flushes and closes";

  qvifstream in;
  ASSERT_TRUE(in.open(path.c_str()));
  EXPECT_EQ(in.size(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(in.tell(), 0) << "size restores the position";
  std::string all;
  ASSERT_TRUE(in.readall(all));
  EXPECT_TRUE(pellartest::samebytes(all, data));
  EXPECT_TRUE(in.at_end());
}

TEST(FileStreams, FailedOpens) {
  ScratchDir dir;
  qvifstream in;
  std::string line;
  EXPECT_FALSE(in.open(dir.file("missing").c_str()) || !in.eof() || in.fd() != -1 || in.getline(line) ||
               in.open(nullptr) || in.size() != -1);

  qvofstream out;
  EXPECT_TRUE(!out.open(nullptr) && out.failed());
  EXPECT_TRUE(!out.open(dir.file("no/such/dir").c_str()) && out.failed());
  EXPECT_FALSE(out.write("x", 1) && out.flush());
}

TEST(FileStreams, CloseKeepsStandardDescriptorsOpenAndClosesOthers) {
  {
    qvofstream out(1);
    out.close();
    EXPECT_TRUE(out.failed());
    EXPECT_EQ(out.fd(), -1);
  }
  {
    qvifstream in(0);
    in.close();
    EXPECT_TRUE(in.eof());
  }
  {
    qvofstream err(2);
  }
  EXPECT_TRUE(isopen(0) && isopen(1) && isopen(2));

  ScratchDir dir;
  qvofstream file;
  ASSERT_TRUE(file.open(dir.file("x").c_str()));
  const int fd = file.fd();
  ASSERT_GT(fd, 2);
  file.close();
  EXPECT_FALSE(isopen(fd));
}

TEST(FileStreams, ReadWriteFileRewritesInPlace) {
  ScratchDir dir;
  const std::string path = dir.file("rw.txt");
  WriteFile(path, "hello world!");
  {
    Pellar::qviofstream io;
    ASSERT_TRUE(io.open(path.c_str()));
    ASSERT_TRUE(io.seek(6));
    io << "there";
  }
  EXPECT_EQ(ReadFile(path), "hello there!");
}


}  // namespace
