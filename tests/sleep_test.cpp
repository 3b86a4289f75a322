#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ScopedCancel.h"
#include "SleepRecorder.h"
#include "YrSleep.h"
#include "ZbProcess.h"

namespace {

int64_t NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Stands for an exit descriptor: readable once the write end is closed, as
// a pidfd is once its process has exited.
class FakeExit {
 public:
  FakeExit() { EXPECT_EQ(pipe(m_ends), 0); }
  ~FakeExit() {
    close(m_ends[0]);
    Exit();
  }
  FakeExit(const FakeExit&) = delete;
  FakeExit& operator=(const FakeExit&) = delete;

  int descriptor() const { return m_ends[0]; }
  void Exit() {
    if (m_ends[1] >= 0) close(m_ends[1]);
    m_ends[1] = -1;
  }

 private:
  int m_ends[2] = {-1, -1};
};

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
  // The sleep that ends at an exit passes the handler the very same call,
  // and then tells whether the exit has come.
  FakeExit running;
  FakeExit exited;
  exited.Exit();
  EXPECT_FALSE(YRSLEEP_UntilExit(30000, running.descriptor(), "PriamUtil", 120));
  EXPECT_TRUE(YRSLEEP_UNTIL_EXIT(UINT32_MAX, exited.descriptor()));
  const int untilExitLine = __LINE__ - 1;
  EXPECT_FALSE(YRSLEEP_UntilExit(10000, -1, nullptr, 7));
  EXPECT_TRUE(YRSLEEP_SetHandler(nullptr));  // hands back the handler it replaces
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].milliseconds, 30000u);
  EXPECT_EQ(calls[0].file, "PriamUtil");
  EXPECT_EQ(calls[0].line, 120);
  EXPECT_EQ(calls[1].milliseconds, 10000u);
  EXPECT_EQ(calls[2].milliseconds, UINT32_MAX);
  EXPECT_NE(calls[2].file.find("sleep_test.cpp"), std::string::npos);
  EXPECT_EQ(calls[2].line, macroLine);
  // Each pair: the plain sleep and the sleep until an exit given the same.
  const std::pair<size_t, size_t> pairs[] = {{0, 3}, {2, 4}, {1, 5}};
  for (const auto& pair : pairs) {
    const Call& plain = calls[pair.first];
    const Call& untilExit = calls[pair.second];
    EXPECT_EQ(untilExit.milliseconds, plain.milliseconds);
    EXPECT_EQ(untilExit.file, plain.file);
    EXPECT_EQ(untilExit.line, pair.first == 2 ? untilExitLine : plain.line);
  }
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
// signal interrupts it, whether a cancel descriptor is announced (the sleep
// then polls it) or not: only a cancel ends a sleep early. Only lower
// bounds are checked: a sleep never ends early, however loaded the machine
// is.
TEST(YrSleep, WithoutAHandlerTheWholeTimeIsSlept) {
  { testsupport::SleepRecorder recorder; }  // installed and removed again
  struct sigaction action = {};
  action.sa_handler = CountAlarm;  // no SA_RESTART: the sleep sees EINTR
  sigaction(SIGALRM, &action, nullptr);
  for (const bool cancellable : {false, true}) {
    SCOPED_TRACE(cancellable ? "a cancel descriptor announced" : "none announced");
    std::unique_ptr<testsupport::ScopedCancel> cancel;
    if (cancellable) cancel.reset(new testsupport::ScopedCancel());
    struct itimerval timer = {};
    timer.it_value.tv_usec = 5 * 1000;
    timer.it_interval.tv_usec = 5 * 1000;
    setitimer(ITIMER_REAL, &timer, nullptr);
    int64_t start = NowMs();
    YRSLEEP_InTeRnAl(60, "f", 1);
    const int64_t slept = NowMs() - start;
    // The same for the sleep that ends at an exit, as long as none comes.
    FakeExit running;
    start = NowMs();
    EXPECT_FALSE(YRSLEEP_UntilExit(60, running.descriptor(), "f", 1));
    const int64_t waited = NowMs() - start;
    timer = {};
    setitimer(ITIMER_REAL, &timer, nullptr);
    EXPECT_GE(slept, 60);
    EXPECT_GE(waited, 60);
    YRSLEEP_InTeRnAl(0, "f", 2);
    EXPECT_FALSE(YRSLEEP_UntilExit(0, running.descriptor(), "f", 2));
  }
}

TEST(YrSleep, WithoutAHandlerTheSleepEndsWhenTheProcessExits) {
  ZbProcess process;
  process.SetSilence(true);
  std::string error;
  ASSERT_TRUE(process.StartProcess("sleep", "sleep 0.3", &error, 0)) << error;
  ASSERT_GE(process.ExitDescriptor(), 0);
  int64_t start = NowMs();
  EXPECT_TRUE(YRSLEEP_UNTIL_EXIT(30000, process.ExitDescriptor()));
  const int64_t untilExit = NowMs() - start;
  EXPECT_LT(untilExit, 5000);  // not the 30 s
  std::printf("the sleep ended %lld ms after the start of a child that runs for 300 ms\n",
              static_cast<long long>(untilExit));
  EXPECT_TRUE(process.Reap(true));

  // A process that goes on running lets it sleep the whole time.
  ASSERT_TRUE(process.StartProcess("sleep", "sleep 1000", &error, 0)) << error;
  start = NowMs();
  EXPECT_FALSE(YRSLEEP_UNTIL_EXIT(200, process.ExitDescriptor()));
  EXPECT_GE(NowMs() - start, 200);
  process.Signal(SIGKILL);
  EXPECT_TRUE(process.Reap(true));

  // A descriptor that is none leaves the plain sleep.
  start = NowMs();
  EXPECT_FALSE(YRSLEEP_UNTIL_EXIT(50, -1));
  EXPECT_GE(NowMs() - start, 50);
}

}  // namespace

// A cancel ends the sleeps of the thread that announced it, whichever way
// they sleep, and no other thread's. The bounds are far below the sleeps
// asked for: the sleep ended with the cancel, not with its time.
TEST(YrSleep, ACancelEndsEverySleepOfItsThreadAndNoOtherThreads) {
  testsupport::ScopedCancel cancel;

  // A handler that only watches sleeps them the platform's way: they end as
  // the call it stands in for would, here at the exit.
  std::vector<uint32_t> watched;
  YrSleepHandler previous = YRSLEEP_SetHandler([&watched](uint32_t milliseconds, const char*, int) {
    watched.push_back(milliseconds);
    YRSLEEP_Unhandled(milliseconds);
  });
  FakeExit exited;
  exited.Exit();
  int64_t start = NowMs();
  EXPECT_TRUE(YRSLEEP_UntilExit(30000, exited.descriptor(), "f", 2));
  EXPECT_LT(NowMs() - start, 5000);

  // A cancel from another thread ends a watched sleep and a plain one.
  FakeExit running;
  cancel.CancelAfter(100);
  start = NowMs();
  EXPECT_FALSE(YRSLEEP_UntilExit(30000, running.descriptor(), "f", 3));
  EXPECT_LT(NowMs() - start, 5000);
  EXPECT_EQ(watched, (std::vector<uint32_t>{30000, 30000}));
  YRSLEEP_SetHandler(nullptr);
  start = NowMs();
  YRSLEEP_InTeRnAl(30000, "f", 4);
  EXPECT_FALSE(YRSLEEP_UntilExit(30000, running.descriptor(), "f", 5));
  EXPECT_LT(NowMs() - start, 5000);

  // Once cancelled, no handler is called any more.
  YRSLEEP_SetHandler(
      [&watched](uint32_t milliseconds, const char*, int) { watched.push_back(milliseconds); });
  YRSLEEP_InTeRnAl(10000, "f", 6);
  EXPECT_FALSE(YRSLEEP_UntilExit(10000, running.descriptor(), "f", 7));
  EXPECT_EQ(watched.size(), 2u);
  YRSLEEP_SetHandler(previous);

  int64_t otherSlept = 0;
  std::thread other([&otherSlept] {
    const int64_t otherStart = NowMs();
    YRSLEEP_InTeRnAl(400, "f", 8);
    otherSlept = NowMs() - otherStart;
  });
  other.join();
  EXPECT_GE(otherSlept, 400) << "another thread's sleep is not cut short";
}
