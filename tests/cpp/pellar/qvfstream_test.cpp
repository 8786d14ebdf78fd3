// File streams on descriptors, and the process-wide standard streams.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

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

TEST(FileStreams, OpenTruncatesAndUsesMode0644) {
  ScratchDir dir;
  const std::string path = dir.file("t.txt");
  WriteFile(path, "old contents that are long");
  const mode_t mask = ::umask(0);
  ::umask(mask);
  {
    qvofstream out;
    ASSERT_TRUE(out.open(path.c_str()));
    out << "new";
  }
  EXPECT_EQ(ReadFile(path), "new");
  const std::string fresh = dir.file("fresh.txt");
  {
    qvofstream out;
    ASSERT_TRUE(out.open(fresh.c_str()));
  }
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
}

TEST(FileStreams, SeekReopenAndEmptyFile) {
  ScratchDir dir;
  const std::string data = pellartest::mixedbytes(Block + 100, 2);
  WriteFile(dir.file("s.bin"), data);
  WriteFile(dir.file("b"), "second\n");
  WriteFile(dir.file("empty"), "");
  qvifstream in;
  ASSERT_TRUE(in.open(dir.file("s.bin").c_str()));
  std::string all;
  in.readall(all);
  ASSERT_TRUE(in.at_end());
  ASSERT_TRUE(in.seek(Block + 90));
  EXPECT_FALSE(in.at_end());
  EXPECT_EQ(in.tell(), static_cast<std::int64_t>(Block + 90));
  EXPECT_EQ(in.buffered(), 10u) << "seek refills at once";
  std::string tail;
  in.readall(tail);
  EXPECT_TRUE(pellartest::samebytes(tail, data.substr(Block + 90)));
  // Reopening resets the position and the end flag.
  ASSERT_TRUE(in.open(dir.file("b").c_str()));
  EXPECT_EQ(in.tell(), 0);
  EXPECT_EQ(pellartest::alllines(in), (std::vector<std::string>{"second"}));
  ASSERT_TRUE(in.open(dir.file("empty").c_str()));
  EXPECT_FALSE(in.at_end()) << "nothing is read at open";
  std::string line;
  EXPECT_FALSE(in.getline(line));
  EXPECT_TRUE(in.at_end());
}

TEST(FileStreams, FailedOpens) {
  ScratchDir dir;
  qvifstream in;
  EXPECT_FALSE(in.open(dir.file("missing").c_str()));
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(in.fd(), -1);
  std::string line;
  EXPECT_FALSE(in.getline(line));
  EXPECT_FALSE(in.open(nullptr));
  EXPECT_EQ(in.size(), -1);

  qvofstream out;
  EXPECT_FALSE(out.open(nullptr));
  EXPECT_TRUE(out.failed());
  EXPECT_FALSE(out.open(dir.file("no/such/dir").c_str()));
  EXPECT_TRUE(out.failed());
  EXPECT_FALSE(out.write("x", 1) && out.flush());
}

TEST(FileStreams, ShortWriteFailsTheStream) {
  if (::access("/dev/full", W_OK) != 0) {
    GTEST_SKIP() << "no /dev/full here";
  }
  qvofstream out;
  ASSERT_TRUE(out.open("/dev/full"));
  out << "some text";
  EXPECT_FALSE(out.flush());
  EXPECT_TRUE(out.failed());
  const std::string big(Block * 2, 'x');
  EXPECT_FALSE(out.write(big.data(), big.size()));
  for (std::size_t i = 0; i < 3 * Block; ++i) out.put('y');  // the buffer is reused, never overrun
  EXPECT_TRUE(out.failed());
}

// A write that a signal interrupts after moving part of the buffer returns
// that part. The stream must report the loss at once rather than write the
// rest later: a pipe of one page with nobody reading makes the write block
// with the page full, the signal ends it short, and only then does a reader
// drain the pipe (so that a stream which retried would finish "successfully").
TEST(FileStreams, WriteCutShortBySignalFailsTheFlush) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const int capacity = ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  ASSERT_LT(static_cast<std::size_t>(capacity), Block);
  struct sigaction quiet {}, old {};
  quiet.sa_handler = [](int) {};
  sigemptyset(&quiet.sa_mask);
  quiet.sa_flags = 0;  // no restart: the write returns what it moved
  ASSERT_EQ(::sigaction(SIGUSR1, &quiet, &old), 0);

  std::atomic<bool> done{false};
  bool flushed = true, failed = false;
  std::thread writer([&] {
    qvofstream out(fds[1]);
    const std::string data(Block, 'x');
    out.write(data.data(), data.size() - 1);
    flushed = out.flush();
    failed = out.failed();
    done = true;
  });
  int queued = 0;
  for (int i = 0; i < 5000 && queued < capacity; ++i) {
    ::usleep(1000);
    ASSERT_EQ(::ioctl(fds[0], FIONREAD, &queued), 0);
  }
  ASSERT_EQ(queued, capacity) << "the writer never filled the pipe";
  ::pthread_kill(writer.native_handle(), SIGUSR1);
  std::string sink(Block, '\0');
  for (int i = 0; i < 5000 && !done; ++i) {
    if (::read(fds[0], sink.data(), sink.size()) <= 0) break;
  }
  writer.join();
  ::sigaction(SIGUSR1, &old, nullptr);
  ::close(fds[0]);  // the stream closed the other end
  EXPECT_FALSE(flushed);
  EXPECT_TRUE(failed);
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
