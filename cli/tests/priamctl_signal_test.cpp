// Ctrl-C and SIGTERM never leave a sidecar behind priamctl; one that SIGKILL
// left is stopped by the next run, and a second run beside a live one refuses.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "ChildProcess.h"
#include "PriamctlFixture.h"

namespace clitest {
namespace {

using Signals = PriamctlFixture;

// The sidecar priamctl started, once it is there.
pid_t WaitForSidecar(const PriamctlProcess& priamctl) {
  pid_t sidecar = 0;
  WaitUntil(
      [&] {
        const std::vector<pid_t> children = ChildrenOf(priamctl.pid());
        sidecar = children.empty() ? 0 : children.front();
        return sidecar != 0;
      },
      30);
  return sidecar;
}

TEST_F(Signals, TermDuringTheThirtySecondWaitStopsTheSidecarAtOnce) {
  // No shortened waits: the launch really waits 30 seconds.
  PriamctlProcess priamctl(NodeArgs("run", {"--request", "info", "--property-from-env",
                                            "priam.cqluserpassword=TEST_PASSWORD"}),
                           {{"TEST_PASSWORD", "Pa55-during-wait"}});
  const pid_t sidecar = WaitForSidecar(priamctl);
  ASSERT_GT(sidecar, 0);
  ASSERT_TRUE(WaitUntil([&] { return SidecarRunsFor(confDir); }, 10));

  kill(priamctl.pid(), SIGTERM);
  const Outcome outcome = priamctl.Wait(20);
  EXPECT_EQ(outcome.exitCode, 143) << outcome.err;
  EXPECT_NE(outcome.err.find("priamctl: stopped by signal 15; the sidecar is stopped\n"),
            std::string::npos)
      << outcome.err;
  EXPECT_FALSE(testsupport::ProcessExists(sidecar));
  EXPECT_EQ(outcome.out, "") << "no request after the signal";
  EXPECT_EQ(Properties().find("Pa55-during-wait"), std::string::npos)
      << "the interrupted launch still took the secret out";
}

TEST_F(Signals, InterruptOrHangUpEndsKeepRunningAndStopsTheSidecar) {
  for (const int signal : {SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    PriamctlProcess priamctl(NodeArgs("run", {"--keep-running", "--short-waits-for-tests"}));
    ASSERT_TRUE(WaitUntil(
        [&] { return priamctl.Err().find("Keeping the sidecar running") != std::string::npos; },
        60))
        << priamctl.Err();
    const pid_t sidecar = WaitForSidecar(priamctl);
    ASSERT_GT(sidecar, 0);

    kill(priamctl.pid(), signal);
    const Outcome outcome = priamctl.Wait(20);
    EXPECT_EQ(outcome.exitCode, 0) << "a signal is how --keep-running ends: " << outcome.err;
    EXPECT_NE(outcome.err.find("Sidecar stopped."), std::string::npos);
    EXPECT_FALSE(testsupport::ProcessExists(sidecar));
  }
}

TEST_F(Signals, KeepRunningEndsWithCode1WhenTheSidecarDiesOnItsOwn) {
  PriamctlProcess priamctl(NodeArgs("run", {"--keep-running", "--short-waits-for-tests"}));
  ASSERT_TRUE(WaitUntil(
      [&] { return priamctl.Err().find("Keeping the sidecar running") != std::string::npos; }, 60));
  const pid_t sidecar = WaitForSidecar(priamctl);
  ASSERT_GT(sidecar, 0);
  kill(sidecar, SIGKILL);

  const Outcome outcome = priamctl.Wait(20);
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("priamctl: the sidecar exited by itself (signal 9)\n"),
            std::string::npos)
      << outcome.err;
  EXPECT_FALSE(testsupport::ProcessExists(sidecar)) << "reaped, no zombie";
}

TEST_F(Signals, RunAfterAHostKilledBySigkillStopsTheSidecarItLeft) {
  PriamctlProcess dead(NodeArgs("run", {"--request", "info", "--property-from-env",
                                        "priam.cqluserpassword=TEST_PASSWORD"}),
                       {{"TEST_PASSWORD", "Pa55-of-the-dead-host"}});
  // Killed once its launch has recorded the sidecar, during the wait.
  pid_t orphan = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::vector<pid_t> children = ChildrenOf(dead.pid());
        const std::string record = "/zbPriam.sidecar";
        orphan = children.size() == 1 ? children.front() : 0;
        return orphan > 0 && testsupport::PathExists(confDir + record) &&
               testsupport::ReadFile(confDir + record)
                       .find("pid=" + std::to_string(orphan) + "\n") != std::string::npos;
      },
      30));
  kill(dead.pid(), SIGKILL);
  EXPECT_EQ(dead.Wait(20).exitCode, 128 + SIGKILL);
  ASSERT_TRUE(SidecarRunsFor(confDir)) << "nothing can stop a sidecar at SIGKILL of its host";

  const Outcome next =
      RunPriamctl(NodeArgs("run", {"--request", "info", "--short-waits-for-tests",
                                   "--property-from-env", "priam.cqluserpassword=TEST_PASSWORD"}),
                  {{"TEST_PASSWORD", "Pa55-of-the-next-host"}});
  EXPECT_EQ(next.exitCode, 0) << next.err;
  EXPECT_NE(next.out.find("\"port\""), std::string::npos) << "the new sidecar answered";
  const char state = testsupport::ProcessState(orphan);
  EXPECT_TRUE(state == 0 || state == 'Z') << "the orphan is stopped";
  EXPECT_FALSE(SidecarRunsFor(confDir));
  const std::string properties = Properties();
  EXPECT_EQ(properties.find("Pa55-of-the-dead-host"), std::string::npos);
  EXPECT_EQ(properties.find("Pa55-of-the-next-host"), std::string::npos);
}

TEST_F(Signals, ASecondRunOnTheSameDirectoryRefusesWhileTheFirstRuns) {
  PriamctlProcess first(NodeArgs("run", {"--keep-running", "--short-waits-for-tests"}));
  ASSERT_TRUE(WaitUntil(
      [&] { return first.Err().find("Keeping the sidecar running") != std::string::npos; }, 60))
      << first.Err();
  const pid_t sidecar = WaitForSidecar(first);
  ASSERT_GT(sidecar, 0);

  const Outcome second = RunPriamctl(NodeArgs("run", {"--request", "info", "--property-from-env",
                                                      "priam.cqluserpassword=TEST_PASSWORD"}),
                                     {{"TEST_PASSWORD", "Pa55-refused"}});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("Priam is already running for " + confDir + " (process " +
                            std::to_string(first.pid()) +
                            "); stop that process first, or give another --priam-conf-dir\n"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(Properties().find("Pa55-refused"), std::string::npos);
  EXPECT_EQ(ChildrenOf(first.pid()), std::vector<pid_t>{sidecar}) << "the first run is undisturbed";

  kill(first.pid(), SIGTERM);
  EXPECT_EQ(first.Wait(20).exitCode, 0);
}

}  // namespace
}  // namespace clitest
