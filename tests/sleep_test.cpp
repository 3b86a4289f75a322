#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <time.h>

#include <string>
#include <vector>

#include "SleepRecorder.h"
#include "YrSleep.h"

namespace {

int64_t NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

TEST(YrSleep, AHandlerReceivesEveryRequestInsteadOfSleeping) {
  struct Call {
    uint32_t milliseconds;
    std::string file;
    int line;
  };
  std::vector<Call> calls;
  YrSleepHandler previous =
      YRSLEEP_SetHandler([&calls](uint32_t milliseconds, const char* file, int line) {
        calls.push_back(Call{milliseconds, file ? file : "", line});
      });
  EXPECT_FALSE(previous);
  YRSLEEP_InTeRnAl(30000, "PriamUtil", 120);
  YRSLEEP_InTeRnAl(10000, nullptr, 7);
  YRSLEEP(UINT32_MAX);
  const int macroLine = __LINE__ - 1;
  EXPECT_TRUE(YRSLEEP_SetHandler(nullptr));  // hands back the handler it replaces
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].milliseconds, 30000u);
  EXPECT_EQ(calls[0].file, "PriamUtil");
  EXPECT_EQ(calls[0].line, 120);
  EXPECT_EQ(calls[1].milliseconds, 10000u);
  EXPECT_EQ(calls[2].milliseconds, UINT32_MAX);
  EXPECT_NE(calls[2].file.find("sleep_test.cpp"), std::string::npos);
  EXPECT_EQ(calls[2].line, macroLine);
}

TEST(YrSleep, RecordersNestAndRestoreTheirPredecessor) {
  testsupport::SleepRecorder outer;
  {
    testsupport::SleepRecorder inner;
    YRSLEEP_InTeRnAl(30000, "f", 1);
    EXPECT_EQ(inner.Sleeps(), std::vector<uint32_t>{30000});
  }
  YRSLEEP_InTeRnAl(10000, "f", 2);
  EXPECT_EQ(outer.Sleeps(), std::vector<uint32_t>{10000});
  EXPECT_EQ(outer.TotalMs(), 10000u);
}

void CountAlarm(int) {}

// Without a handler the thread really sleeps, the whole time even when a
// signal interrupts it. Only lower bounds are checked: a sleep never ends
// early, however loaded the machine is.
TEST(YrSleep, WithoutAHandlerTheWholeTimeIsSlept) {
  { testsupport::SleepRecorder recorder; }  // installed and removed again
  struct sigaction action = {};
  action.sa_handler = CountAlarm;  // no SA_RESTART: the sleep sees EINTR
  sigaction(SIGALRM, &action, nullptr);
  struct itimerval timer = {};
  timer.it_value.tv_usec = 5 * 1000;
  timer.it_interval.tv_usec = 5 * 1000;
  setitimer(ITIMER_REAL, &timer, nullptr);
  const int64_t start = NowMs();
  YRSLEEP_InTeRnAl(60, "f", 1);
  const int64_t slept = NowMs() - start;
  timer = {};
  setitimer(ITIMER_REAL, &timer, nullptr);
  EXPECT_GE(slept, 60);
  YRSLEEP_InTeRnAl(0, "f", 2);
}

}  // namespace
