// The library on a host that is not a clean test machine: an exported
// terminal width, other controllers on the same configuration directory, and
// sidecars left behind by hosts that died. Real processes throughout: the
// JDK, ps and netstat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "LaunchFixture.h"
#include "SidecarRecord.h"
#include "ZbProcessInfo.h"

namespace {

using testsupport::FreeLocalPort;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::WriteFile;
using ZbCassandra::PriamUtil;
using ZbCassandra::SidecarRecord;

// A process the test starts and kills again; reaped when it goes.
class TestProcess {
 public:
  explicit TestProcess(const std::string& program, const std::string& words) {
    m_process.SetSilence(true);
    std::string error;
    EXPECT_TRUE(m_process.StartProcess(program, words, &error, 0)) << error;
  }
  ~TestProcess() {
    if (pid() > 0) kill(pid(), SIGKILL);
    m_process.Reap(true);
  }
  pid_t pid() const { return m_process.GetChildPid(); }
  SidecarRecord Record() const {
    SidecarRecord record;
    record.sidecar = pid();
    record.host = 1;
    EXPECT_TRUE(ZbProcessInfo::StartTime(pid(), &record.startTime));
    return record;
  }
  bool Runs() const {
    return ZbProcessInfo::State(pid()) != 0 && ZbProcessInfo::State(pid()) != 'Z';
  }

 private:
  ZbProcess m_process;
};

// The stand-in sidecar, started by the test as a launch would start it for
// `confDir`, with `javaOptions` before the sidecar's own.
std::string SidecarCommand(const std::string& java, const std::string& javaOptions,
                           const std::string& confDir) {
  return java + " " + javaOptions + " -Dzbpriam.config.file=" + confDir + " -cp " +
         PRIAM_STANDIN_JAR + " jerseyserve.server " + std::to_string(FreeLocalPort());
}

bool LockIsHeld(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return held;
}

bool HasOpen(pid_t pid, const std::string& path) {
  const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
  for (int fd = 0; fd < 1024; ++fd) {
    char target[PATH_MAX];
    const ssize_t n = readlink((fdDir + "/" + std::to_string(fd)).c_str(), target, sizeof(target));
    if (n > 0 && std::string(target, n) == path) return true;
  }
  return false;
}

class RealHost : public launchtest::LaunchTest {
 protected:
  std::string LockPath() const { return confDir + "/zbPriam.lock"; }
  std::string RecordPath() const { return confDir + "/zbPriam.sidecar"; }

  int CountStartingWith(const std::string& prefix) const {
    int count = 0;
    for (const std::string& text : log->Texts()) count += text.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
  }
};

TEST_F(RealHost, ToolCommandsIgnoreTheTerminalWidthTheHostExported) {
  // A node whose pid-file option stands far beyond the 60th column, run by a
  // Java that "which java" would not name.
  char java[PATH_MAX];
  ASSERT_NE(realpath(PRIAM_STANDIN_JAVA, java), nullptr);
  const std::string pidFile = nodeDir + "/cassandra.pid";
  TestProcess node(java, SidecarCommand(java,
                                        "-Dnode.padding=" + std::string(80, 'x') +
                                            " -Dcassandra-pidfile=" + pidFile + " -Dnode.after=1",
                                        root.file("node-conf")));
  WriteFile(pidFile, std::to_string(node.pid()));
  ScopedEnv columns("COLUMNS", "60");

  PriamUtil& priam = Make(0, "");
  EXPECT_EQ(priam.javaPath().str(), java);
  EXPECT_EQ(log->Count("Cassandra PID file: " + pidFile), 1);

  // The sidecar's port is the last word of its long ps line, read whole.
  priam.setJavaOptions("-Dpadding=" + std::string(80, 'y'));
  WriteProperties();
  ASSERT_FALSE(priam.startPriam().IsError());
  EXPECT_EQ(log->Count("Priam port from ps output: " + std::to_string(priam.priamPort())), 1);
  EXPECT_EQ(CountStartingWith("Netstat Cmd: "), 0);
  EXPECT_STREQ(getenv("COLUMNS"), "60") << "the host's own environment is left alone";
}

TEST_F(RealHost, ALaunchOwnsItsDirectoryUntilItsSidecarIsStopped) {
  // Without a usable lock file no launch is safe.
  ASSERT_EQ(mkdir(LockPath().c_str(), 0700), 0);
  Make();
  WriteProperties();
  const CYrError unlocked = controller->startPriam();
  EXPECT_EQ(unlocked.Code(), 1627);
  EXPECT_EQ(unlocked.Message().rfind("Failed to lock the Priam configuration directory: ", 0), 0u)
      << unlocked.Message();
  EXPECT_EQ(controller->priamPid(), 0);
  ExpectNoSecretLeft();
  ASSERT_EQ(rmdir(LockPath().c_str()), 0);

  WriteProperties();
  ASSERT_FALSE(controller->startPriam().IsError());
  std::unique_ptr<PriamUtil> first = std::move(controller);
  const pid_t sidecar = first->priamPid();
  const int port = first->priamPort();

  EXPECT_TRUE(LockIsHeld(LockPath()));
  EXPECT_EQ(testsupport::FileMode(LockPath()), 0600);
  EXPECT_FALSE(HasOpen(sidecar, LockPath())) << "the sidecar must not inherit the lock";
  uint64_t startTime = 0;
  ASSERT_TRUE(ZbProcessInfo::StartTime(sidecar, &startTime));
  const std::string record = "host=" + std::to_string(getpid()) +
                             "\npid=" + std::to_string(sidecar) +
                             "\nstarttime=" + std::to_string(startTime) + "\n";
  EXPECT_EQ(ReadFile(RecordPath()), record);
  EXPECT_EQ(testsupport::FileMode(RecordPath()), 0600);

  // A second controller on the directory refuses at once, launches nothing
  // and forgets the secrets it was given; the first sidecar carries on.
  PriamUtil& second = Make();
  WriteProperties();
  log->Clear();
  const CYrError refused = second.startPriam();
  EXPECT_EQ(refused.Code(), 1627);
  EXPECT_EQ(refused.Message(), "Priam is already running for " + confDir + " (process " +
                                   std::to_string(getpid()) + ")");
  EXPECT_EQ(log->Texts(-1), std::vector<std::string>{refused.Message()});
  EXPECT_EQ(second.priamPid(), 0);
  EXPECT_FALSE(second.priamStarted());
  ExpectNoSecretLeft();
  EXPECT_EQ(ReadFile(RecordPath()), record);
  EXPECT_TRUE(testsupport::PortAcceptsConnections(port));

  // Stopped: the record goes, the lock file stays, free for the next launch.
  ASSERT_FALSE(first->stopPriam().IsError());
  EXPECT_FALSE(testsupport::PathExists(RecordPath()));
  EXPECT_TRUE(testsupport::PathExists(LockPath()));
  EXPECT_FALSE(LockIsHeld(LockPath()));
  WriteProperties();
  ASSERT_FALSE(second.startPriam().IsError());
  EXPECT_TRUE(LockIsHeld(LockPath()));
  controller.reset();
  EXPECT_FALSE(LockIsHeld(LockPath())) << "destroying the controller releases the lock";
}

TEST_F(RealHost, OnlyTheSidecarADeadHostLeftForThisDirectoryIsStopped) {
  TestProcess sleeper("/bin/sleep", "/bin/sleep 600");
  TestProcess otherDirectory(PRIAM_STANDIN_JAVA,
                             SidecarCommand(PRIAM_STANDIN_JAVA, "", root.file("other-conf")));
  TestProcess orphan(PRIAM_STANDIN_JAVA, SidecarCommand(PRIAM_STANDIN_JAVA, "", confDir));
  SidecarRecord ended = sleeper.Record();
  ended.sidecar = 0x7ffffff0;
  SidecarRecord restarted = orphan.Record();
  restarted.startTime += 1;

  const std::vector<std::pair<const char*, SidecarRecord>> notOrphans = {
      {"a process that has ended", ended},
      {"another program", sleeper.Record()},
      {"the sidecar of another directory", otherDirectory.Record()},
      {"a pid handed out again", restarted},
  };
  for (const auto& entry : notOrphans) {
    SCOPED_TRACE(entry.first);
    ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(RecordPath(), entry.second).IsError());
    Make();
    WriteProperties();
    ASSERT_FALSE(controller->startPriam().IsError());
    EXPECT_TRUE(sleeper.Runs() && otherDirectory.Runs() && orphan.Runs());
    EXPECT_EQ(CountStartingWith("Stopped the Priam sidecar"), 0);
    controller.reset();
  }

  ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(RecordPath(), orphan.Record()).IsError());
  Make();
  WriteProperties();
  log->Clear();
  ASSERT_FALSE(controller->startPriam().IsError());
  EXPECT_FALSE(orphan.Runs());
  EXPECT_EQ(log->Count("Stopped the Priam sidecar left running by a host that died (process " +
                       std::to_string(orphan.pid()) + ")"),
            1);
  EXPECT_TRUE(sleeper.Runs() && otherDirectory.Runs());
  EXPECT_EQ(Info()["port"], controller->priamPort());
}

}  // namespace
