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

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "LaunchFixture.h"
#include "SidecarRecord.h"
#include "ZbFileLock.h"
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

  int CountContaining(int level, const std::string& part) const {
    int count = 0;
    for (const std::string& text : log->Texts(level)) count += text.find(part) != std::string::npos;
    return count;
  }

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

TEST_F(RealHost, TheProcessOwnsItsDirectoryFromItsFirstWriteUntilItsLastControllerGoes) {
  // Without a usable lock file nothing may be written: the node is still
  // discovered, the files are left alone.
  ASSERT_EQ(mkdir(LockPath().c_str(), 0700), 0);
  controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
  EXPECT_TRUE(controller->initFailed());
  EXPECT_EQ(controller->cqlPort(), "9042");
  EXPECT_EQ(CountContaining(-1, "Failed to lock the Priam configuration directory: "), 1);
  EXPECT_EQ(controller->writePriamProperties(launchtest::kSecrets).Code(), 1627);
  EXPECT_EQ(controller->startPriam().Code(), 1627);
  EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriam.properties"));
  controller.reset();
  ASSERT_EQ(rmdir(LockPath().c_str()), 0);

  // Taken by the construction, before its first write.
  Make();
  EXPECT_TRUE(LockIsHeld(LockPath()));
  EXPECT_EQ(ZbFileLock::Holder(LockPath()), getpid()) << "as the system's lock table tells";
  EXPECT_EQ(testsupport::FileMode(LockPath()), 0600);
  const std::string ownerOnly =
      "host=" + std::to_string(getpid()) + "\npid=0\nport=0\nstarttime=0\n";
  EXPECT_EQ(ReadFile(RecordPath()), ownerOnly);
  WriteProperties();
  ASSERT_FALSE(controller->startPriam().IsError());
  std::unique_ptr<PriamUtil> first = std::move(controller);
  const pid_t sidecar = first->priamPid();
  const int port = first->priamPort();
  EXPECT_FALSE(HasOpen(sidecar, LockPath())) << "the sidecar must not inherit the lock";
  uint64_t startTime = 0;
  ASSERT_TRUE(ZbProcessInfo::StartTime(sidecar, &startTime));
  const std::string record = "host=" + std::to_string(getpid()) + "\noutput=" + logDir +
                             "/zbPriam.out\npid=" + std::to_string(sidecar) +
                             "\nport=" + std::to_string(port) +
                             "\nstarttime=" + std::to_string(startTime) + "\n";
  EXPECT_EQ(ReadFile(RecordPath()), record);
  EXPECT_EQ(testsupport::FileMode(RecordPath()), 0600);

  // A second controller of the process shares the directory, but its launch
  // is refused while the first one's sidecar runs, and forgets its secrets.
  PriamUtil& second = Make();
  WriteProperties();
  log->Clear();
  const CYrError refused = second.startPriam();
  EXPECT_EQ(refused.Code(), 1627);
  EXPECT_EQ(refused.Message(), "Priam is already running for " + confDir + " (process " +
                                   std::to_string(getpid()) + ")");
  EXPECT_EQ(log->Texts(-1), std::vector<std::string>{refused.Message()});
  EXPECT_EQ(second.priamPid(), 0);
  ExpectNoSecretLeft();
  EXPECT_EQ(ReadFile(RecordPath()), record);
  EXPECT_TRUE(testsupport::PortAcceptsConnections(port));

  // Stopped: the record names the host alone, and the directory stays ours.
  ASSERT_FALSE(first->stopPriam().IsError());
  EXPECT_EQ(ReadFile(RecordPath()), ownerOnly);
  EXPECT_TRUE(LockIsHeld(LockPath()));
  WriteProperties();
  ASSERT_FALSE(second.startPriam().IsError());

  // The host replaces its controller: the new one is constructed first, the
  // directory is never free meanwhile, and the one sidecar that runs in the
  // end was launched with the new controller's properties.
  std::atomic<bool> replacing(true);
  std::atomic<int> freeMoments(0);
  std::thread other([&] {
    while (replacing) freeMoments += LockIsHeld(LockPath()) ? 0 : 1;
  });
  controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
  first.reset();
  replacing = false;
  other.join();
  EXPECT_EQ(freeMoments, 0);
  EXPECT_FALSE(testsupport::ProcessExists(sidecar));
  WriteProperties({{"priam.cqlusername", "replacement"}});
  ASSERT_FALSE(controller->startPriam().IsError());
  EXPECT_EQ(Info()["settings"]["priam.cqlusername"], "replacement");

  controller.reset();
  EXPECT_FALSE(LockIsHeld(LockPath())) << "the last controller gives the directory up";
  EXPECT_EQ(ZbFileLock::Holder(LockPath()), 0);
  EXPECT_FALSE(testsupport::PathExists(RecordPath()));
  EXPECT_TRUE(testsupport::PathExists(LockPath()));
}

TEST_F(RealHost, NothingIsWrittenIntoADirectoryAnotherProcessHolds) {
  // Another host: a process holding the lock, with a record naming it and
  // the sidecar it runs.
  TestProcess holder("/usr/bin/flock", "flock " + LockPath() + " sleep 600");
  ASSERT_TRUE(launchtest::WaitFor([&] { return LockIsHeld(LockPath()); }, 10));
  EXPECT_EQ(ZbFileLock::Holder(LockPath()), holder.pid());
  TestProcess sidecar(PRIAM_STANDIN_JAVA, SidecarCommand(PRIAM_STANDIN_JAVA, "", confDir));
  SidecarRecord record = sidecar.Record();
  record.host = holder.pid();
  ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(RecordPath(), record).IsError());
  WriteFile(confDir + "/zbPriam.properties", "priam.cqlport=1111\npriam.jmx.token=theirs\n");
  const std::string files = testsupport::DirectorySnapshot(confDir);

  controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
  EXPECT_TRUE(controller->initFailed());
  EXPECT_EQ(controller->cqlPort(), "9042") << "the node is discovered all the same";
  EXPECT_EQ(controller->cassandraFlavor(), "cassandra");
  const std::string held = "The Priam configuration directory " + confDir +
                           " belongs to another host (process " + std::to_string(holder.pid()) +
                           "); nothing was written there";
  EXPECT_EQ(CountContaining(-1, held), 1) << log->AllText();
  pid_t holderSidecar = 0;
  EXPECT_EQ(controller->directoryHolder(&holderSidecar), holder.pid());
  EXPECT_EQ(holderSidecar, sidecar.pid());

  EXPECT_EQ(controller->writePriamProperty("10.0.0.1").Message(), held);
  EXPECT_EQ(controller->writePriamProperties(launchtest::kSecrets).Message(), held);
  EXPECT_EQ(controller->deleteEntries().Message(), held);
  const CYrError launch = controller->startPriam();
  EXPECT_EQ(launch.Code(), 1627);
  EXPECT_EQ(launch.Message(), "Priam is already running for " + confDir + " (process " +
                                  std::to_string(holder.pid()) + ")");
  EXPECT_EQ(controller->priamPid(), 0);
  controller.reset();
  EXPECT_EQ(testsupport::DirectorySnapshot(confDir), files) << "byte for byte as it was";
  EXPECT_TRUE(sidecar.Runs());
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

  // The directory is recognised however the dead host spelled it; the next
  // construction stops the orphan before it writes anything.
  ASSERT_EQ(symlink(confDir.c_str(), root.file("conf-link").c_str()), 0);
  for (const std::string& spelling :
       {confDir, confDir + "/", confDir + "/./", root.file("conf-link")}) {
    SCOPED_TRACE(spelling);
    TestProcess spelled(PRIAM_STANDIN_JAVA, SidecarCommand(PRIAM_STANDIN_JAVA, "", spelling));
    ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(RecordPath(), spelled.Record()).IsError());
    log->Clear();
    Make();
    EXPECT_FALSE(spelled.Runs());
    EXPECT_EQ(controller->stoppedOrphanPid(), spelled.pid());
    const std::vector<std::string> texts = log->Texts(0);
    const auto stopped = std::find(texts.begin(), texts.end(),
                                   "Stopped the Priam sidecar left running by a host that died "
                                   "(process " +
                                       std::to_string(spelled.pid()) + ")");
    const auto copied = std::find_if(texts.begin(), texts.end(), [](const std::string& text) {
      return text.rfind("Copied ", 0) == 0;
    });
    EXPECT_TRUE(stopped < copied) << "stopped before the first write";
    controller.reset();
  }
  EXPECT_TRUE(sleeper.Runs() && otherDirectory.Runs() && orphan.Runs());

  ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(RecordPath(), orphan.Record()).IsError());
  Make();
  WriteProperties();
  ASSERT_FALSE(controller->startPriam().IsError());
  EXPECT_FALSE(orphan.Runs());
  EXPECT_EQ(Info()["port"], controller->priamPort());
}

}  // namespace
