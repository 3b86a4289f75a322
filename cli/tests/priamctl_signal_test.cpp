// Ctrl-C and SIGTERM never leave a sidecar behind priamctl.
#include <gtest/gtest.h>
#include <signal.h>

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

}  // namespace
}  // namespace clitest
