#include "sorvil/error/errorhandler.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pellar/qvreport.h"
#include "pellar/qvsstream.h"
#include "sorvil/error/errorcapture.h"

#include "support/captured_messages.h"

namespace {

using Sorvil::QvErrorHandler;

struct LevelCase {
  unsigned level;
  bool errors_are_fatal;
  const char* expected;
};

class LevelPrefix : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelPrefix, PrintedWithTheLevelsPrefix) {
  CapturedMessages messages(0);  // nothing dropped, so level 0 prints too
  messages.SetErrorsAreFatal(GetParam().errors_are_fatal);
  QvErrorHandler::Message(GetParam().level, "m%d", 1);
  EXPECT_EQ(messages.text(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LevelPrefix,
    ::testing::Values(LevelCase{1, false, "Debug: m1\n"}, LevelCase{2, false, "m1\n"},
                      LevelCase{3, false, "m1\n"}, LevelCase{4, false, "Warning: m1\n"},
                      LevelCase{5, false, "Warning: m1\n"}, LevelCase{5, true, "Fatal: m1\n"},
                      LevelCase{6, false, "Fatal: m1\n"}, LevelCase{7, false, "Usage: m1\n"},
                      LevelCase{8, false, ""}, LevelCase{9, false, "Unknown Error Level(9): m1\n"},
                      LevelCase{0, false, "Unknown Error Level(0): m1\n"}));

TEST(ErrorHandler, DropsMessagesBelowTheCurrentLevel) {
  CapturedMessages messages(Sorvil::QvWarning);
  QvErrorHandler::Debug("d");
  QvErrorHandler::Info("i");
  QvErrorHandler::Warning("w");
  QvErrorHandler::Error("e");
  EXPECT_EQ(messages.text(), "Warning: w\nWarning: e\n");
  EXPECT_EQ(QvErrorHandler::GetLevel(), Sorvil::QvWarning);
}

TEST(ErrorHandler, PercentInPlainMessageIsNotFormatted) {
  CapturedMessages messages;
  QvErrorHandler::Msg(Sorvil::QvWarning, "100% %s");
  EXPECT_EQ(messages.text(), "Warning: 100% %s\n");
}

TEST(ErrorHandlerStreamImpl, WritesPrefixedLinesAndDropsSilence) {
  Pellar::qvosstream out;
  Sorvil::QvErrorHandlerStreamImpl impl(out);
  impl.Msg(Sorvil::QvWarning, "first");
  impl.Msg(Sorvil::QvSilence, "never");
  impl.Msg(Sorvil::QvInfo, "second");
  EXPECT_EQ(out.str(), "Warning: first\nsecond\n");
}

TEST(ErrorHandlerStreamImpl, MessagesFromManyThreadsStayWhole) {
  Pellar::qvosstream out;
  Sorvil::QvErrorHandlerStreamImpl impl(out);
  Sorvil::QvErrorHandlerImplBase* previous = QvErrorHandler::SetImpl(&impl);
  const std::string payload(300, 'p');
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < 250; ++i) QvErrorHandler::Warning("%d %s", t, payload.c_str());
    });
  for (auto& thread : threads) thread.join();
  QvErrorHandler::SetImpl(previous);

  std::istringstream lines(out.str());
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_EQ(line.substr(0, 9), "Warning: ");
    ASSERT_EQ(line.substr(11), payload);
  }
  EXPECT_EQ(count, 1000);
}

// A capture takes this thread's messages and stream reports, nested ones
// innermost first, while the installed handler keeps filtering by level and
// still receives what other threads say.
TEST(ErrorCapture, DivertsThisThreadOnly) {
  CapturedMessages installed(Sorvil::QvWarning);
  CapturedMessages outer_sink, inner_sink;
  QvErrorHandler::SetImpl(&installed);  // the two sinks installed themselves
  {
    Sorvil::QvErrorCapture outer(outer_sink);
    QvErrorHandler::Warning("outer %d", 1);
    {
      Sorvil::QvErrorCapture inner(inner_sink);
      QvErrorHandler::Info("below the installed level");
      Pellar::QvReport("gzip cut short");
      std::thread([] { QvErrorHandler::Warning("elsewhere"); }).join();
    }
    QvErrorHandler::Msg(Sorvil::QvWarning, "outer again");
  }
  QvErrorHandler::Warning("after");
  EXPECT_EQ(outer_sink.lines(), (std::vector<std::string>{"outer 1", "outer again"}));
  EXPECT_EQ(inner_sink.lines(), (std::vector<std::string>{"gzip cut short"}));
  EXPECT_EQ(installed.lines(), (std::vector<std::string>{"elsewhere", "after"}));
}

// The default handler writes to standard error and ends the process on the
// fatal and usage levels, and on errors once they are made fatal.
TEST(ErrorHandlerDeathTest, FatalUsageAndFatalErrorsEndTheProcess) {
  EXPECT_EXIT(QvErrorHandler::Fatal("cannot go on: %d", 7), ::testing::ExitedWithCode(1), "Fatal: cannot go on: 7\n");
  EXPECT_EXIT(QvErrorHandler::Message(Sorvil::QvUsage, "prog FILE"), ::testing::ExitedWithCode(0),
              "Usage: prog FILE\n");
  EXPECT_EXIT(
      {
        QvErrorHandler::Error("first");
        QvErrorHandler::GetImpl().SetErrorsAreFatal(true);
        QvErrorHandler::Error("second");
      },
      ::testing::ExitedWithCode(1), "Warning: first\nFatal: second\n");
}

}  // namespace
