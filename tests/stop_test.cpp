#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CapturingLogWriter.h"
#include "ChildProcess.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"
#include "ZbProcess.h"

namespace {

using testsupport::GiveControllerASleepingChild;
using testsupport::ProcessExists;
using ZbCassandra::PriamUtil;
using Access = ZbCassandra::PriamUtilTestAccess;

TEST(StopPriam, KillsAndReapsTheChildSoNoZombieIsLeft) {
  PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
  const pid_t pid = GiveControllerASleepingChild(controller);
  ASSERT_TRUE(ProcessExists(pid));

  EXPECT_FALSE(controller.stopPriam().IsError());
  EXPECT_FALSE(controller.priamStarted());
  EXPECT_FALSE(ProcessExists(pid)) << "the killed child must be reaped, not left a zombie";
  EXPECT_EQ(controller.priamPid(), 0) << "a reaped pid must never be signalled again";

  // A second stop has nothing to signal and still succeeds.
  EXPECT_FALSE(controller.stopPriam().IsError());
}

TEST(StopPriam, ChildThatAlreadyExitedIsCollectedWithoutASignal) {
  PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
  Access::process(controller).reset(new ZbProcess());
  std::string error;
  ASSERT_TRUE(Access::process(controller)->StartProcess("/bin/sh", "sh -c exit", &error, 0));
  Access::started(controller) = true;
  const pid_t pid = controller.priamPid();
  while (testsupport::ProcessState(pid) != 'Z') usleep(1000);

  EXPECT_FALSE(controller.stopPriam().IsError());
  EXPECT_FALSE(controller.priamStarted());
  EXPECT_FALSE(ProcessExists(pid));
  // It exited by itself: its status is its own, not a SIGKILL.
  EXPECT_TRUE(WIFEXITED(Access::process(controller)->ExitStatus()));
}

TEST(StopPriam, ControllerThatNeverLaunchedSucceedsAndIsTracedAtLevelOne) {
  testsupport::ScopedLogCapture log(1);
  PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
  log->Clear();
  EXPECT_FALSE(controller.stopPriam().IsError());
  EXPECT_FALSE(controller.priamStarted());
  const auto entries = log->Entries();
  ASSERT_EQ(entries.size(), 2u);  // the tracer's entry and exit lines
  EXPECT_EQ(entries[0].level, 1);
  EXPECT_NE(entries[0].context.find("stopPriam"), std::string::npos);
}

TEST(StopPriam, DestroyingAStartedControllerStopsItsSidecar) {
  pid_t pid = 0;
  {
    PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
    pid = GiveControllerASleepingChild(controller);
  }
  EXPECT_FALSE(ProcessExists(pid));
}

TEST(StopPriam, DestroyingAControllerThatIsNotStartedSendsNoSignal) {
  pid_t pid = 0;
  {
    PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
    pid = GiveControllerASleepingChild(controller);
    Access::started(controller) = false;
  }
  EXPECT_TRUE(ProcessExists(pid));
  EXPECT_NE(testsupport::ProcessState(pid), 'Z') << "the child must still run";
  kill(pid, SIGKILL);
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
}

}  // namespace
