// A hundred launches and stops of the stand-in sidecar on one controller:
// each stop leaves no process and no zombie, and the controller's process
// keeps the same descriptors throughout.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LaunchFixture.h"
#include "PriamUtil.h"

namespace {

using testsupport::OpenDescriptorCount;
using testsupport::ProcessExists;

constexpr int kCycles = 100;

// The pids of this process's children, zombies included.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  if (!proc) return children;
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) continue;
    // "pid (comm) S ppid ...": the parent follows the state.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == getpid()) {
      children.push_back(pid);
    }
  }
  closedir(proc);
  return children;
}

class LaunchCycles : public launchtest::LaunchTest {};

TEST_F(LaunchCycles, HundredLaunchesAndStopsLeaveNothingBehind) {
  const int descriptorsWithoutController = OpenDescriptorCount();
  ZbCassandra::PriamUtil& priam = Make();
  // The smallest JVM that serves the sidecar: start-up dominates a cycle.
  priam.setJavaOptions("-Xshare:auto -XX:TieredStopAtLevel=1 -XX:+UseSerialGC -Xmx64m");
  int descriptorsAfterFirstCycle = -1;
  ASSERT_TRUE(Children().empty());
  std::vector<pid_t> pids;
  const auto start = std::chrono::steady_clock::now();

  for (int cycle = 0; cycle < kCycles; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    WriteProperties();
    const CYrError started = priam.startPriam();
    ASSERT_FALSE(started.IsError()) << started.AsString();
    const pid_t pid = priam.priamPid();
    ASSERT_GT(pid, 0);
    pids.push_back(pid);
    ASSERT_EQ(Info()["pid"], pid) << "the sidecar of this cycle answers";
    ASSERT_FALSE(priam.stopPriam().IsError());
    ASSERT_FALSE(ProcessExists(pid)) << "a stopped sidecar is gone, not a zombie";
    ExpectNoSecretLeft();
    // The first cycle opens what the controller keeps (its HTTP client's
    // connection); from then on the count must not move.
    if (cycle == 0) descriptorsAfterFirstCycle = OpenDescriptorCount();
    ASSERT_EQ(OpenDescriptorCount(), descriptorsAfterFirstCycle);
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("cycles", kCycles);
  RecordProperty("seconds", std::to_string(seconds));
  std::printf("%d launch/stop cycles in %.1f s (%.2f s each)\n", kCycles, seconds,
              seconds / kCycles);

  EXPECT_TRUE(Children().empty());
  for (const pid_t pid : pids) EXPECT_FALSE(ProcessExists(pid)) << pid;
  controller.reset();
  EXPECT_EQ(OpenDescriptorCount(), descriptorsWithoutController);
}

}  // namespace
