// The library on a host that is not a clean test machine: an exported
// terminal width, other controllers on the same configuration directory, and
// sidecars left behind by hosts that died. Real processes throughout: the
// JDK, ps and netstat.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "FXErrorUtil.h"
#include "LaunchFixture.h"
#include "PriamUtilTestAccess.h"
#include "SmallFilesystem.h"
#include "ZbFileLock.h"
#include "ZbProcessInfo.h"
#include "ownership/SidecarRecord.h"
#include "ownership/SidecarScan.h"

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
  explicit TestProcess(const std::string& program, const std::string& words,
                       const std::vector<std::string>& environment = {}) {
    m_process.SetSilence(true);
    m_process.SetExtraEnvironment(environment);
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
    record.host = 0x7ffffff1;  // no such process
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

// As the system's lock table tells: opening the file here would drop a
// record lock that this process holds.
bool LockIsHeld(const std::string& path) { return ZbFileLock::Holder(path) > 0; }

// A host of its own: a child forked from the test that runs `body` with a
// line-based channel to the test, then _exits. Killed (SIGKILL) and reaped
// when the object goes. The body reports failures over the channel: an
// expectation in a child fails nothing.
class ForkedHost {
 public:
  explicit ForkedHost(const std::function<void(ForkedHost&)>& body) {
    EXPECT_EQ(pipe2(m_toTest, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(m_toHost, O_CLOEXEC), 0);
    fflush(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
      close(m_toTest[0]);
      close(m_toHost[1]);
      body(*this);
      _exit(0);
    }
    close(m_toTest[1]);
    close(m_toHost[0]);
  }
  ~ForkedHost() {
    Kill();
    close(m_toTest[0]);
    close(m_toHost[1]);
  }
  ForkedHost(const ForkedHost&) = delete;
  ForkedHost& operator=(const ForkedHost&) = delete;

  pid_t pid() const { return m_pid; }
  void Kill() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = 0;
  }

  // In the host.
  void Say(const std::string& line) {
    const std::string text = line + "\n";
    EXPECT_EQ(write(m_toTest[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  std::string Hear() { return ReadLine(m_toHost[0], 600); }

  // In the test.
  void Tell(const std::string& line) {
    const std::string text = line + "\n";
    EXPECT_EQ(write(m_toHost[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // The host's next line; "" when none comes within `seconds`.
  std::string Expect(int seconds = 60) { return ReadLine(m_toTest[0], seconds); }

 private:
  static std::string ReadLine(int fd, int seconds) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char c = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      struct pollfd ready = {fd, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      if (read(fd, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return line;
  }

  pid_t m_pid = -1;
  int m_toTest[2] = {-1, -1};
  int m_toHost[2] = {-1, -1};
};

// Every process that is a sidecar of `confDir` now.
std::vector<pid_t> SidecarsOf(const std::string& confDir) {
  std::vector<pid_t> pids;
  for (const auto& sidecar : ZbCassandra::FindSidecars(confDir))
    pids.push_back(sidecar.process.pid);
  return pids;
}

bool Runs(pid_t pid) {
  const char state = ZbProcessInfo::State(pid);
  return state != 0 && state != 'Z';
}

// Every guardian that runs for `confDir` now.
std::vector<pid_t> GuardiansOf(const std::string& confDir) {
  std::vector<pid_t> pids;
  for (const pid_t pid : ZbProcessInfo::AllProcesses()) {
    std::vector<std::string> words;
    if (!Runs(pid) || !ZbProcessInfo::CommandWords(pid, &words) || words.empty()) continue;
    const bool guardian = words[0].find("zbpriam-guardian") != std::string::npos;
    if (guardian && std::count(words.begin(), words.end(), "--conf-dir=" + confDir) > 0) {
      pids.push_back(pid);
    }
  }
  return pids;
}

// The names of the files of `confDir` that hold a line of a secret key (a
// file that goes meanwhile holds none).
std::vector<std::string> FilesWithSecrets(const std::string& confDir) {
  std::vector<std::string> found;
  DIR* directory = opendir(confDir.c_str());
  if (!directory) return found;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (entry->d_type != DT_REG) continue;
    std::ifstream file(confDir + "/" + name);
    const std::string content((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
    for (const auto& secret : launchtest::kSecrets) {
      if (content.find(secret.first + "=") != std::string::npos) {
        found.push_back(name);
        break;
      }
    }
  }
  closedir(directory);
  return found;
}

// A host's controller in a static object, destroyed by exit().
std::unique_ptr<PriamUtil> g_staticController;

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

  // The record of a host that owns the directory and runs no sidecar: it
  // names the host in its pid namespace, and the lock file it holds.
  std::string OwnerOnlyRecord(pid_t host) const {
    uint64_t start = 0;
    EXPECT_TRUE(ZbProcessInfo::StartTime(host, &start));
    struct stat lock;
    EXPECT_EQ(stat(LockPath().c_str(), &lock), 0);
    return "host=" + std::to_string(host) + "\nhoststart=" + std::to_string(start) +
           "\nlockdev=" + std::to_string(lock.st_dev) + "\nlockino=" + std::to_string(lock.st_ino) +
           "\npid=0\npidns=" + std::to_string(ZbProcessInfo::PidNamespace(host)) +
           "\nport=0\nstarttime=0\n";
  }

  // A number the record holds, 0 when it holds none.
  long RecordNumber(const std::string& key) const {
    const std::string record =
        testsupport::PathExists(RecordPath()) ? "\n" + ReadFile(RecordPath()) : "";
    const size_t at = record.find("\n" + key + "=");
    return at == std::string::npos ? 0 : atol(record.c_str() + at + key.size() + 2);
  }

  // Nothing of the directory runs, no secret is on disk, the record names
  // no sidecar.
  bool NothingLeft(pid_t guardian) const {
    const std::string properties = Properties();
    for (const auto& secret : launchtest::kSecrets) {
      if (properties.find(secret.first) != std::string::npos) return false;
    }
    return SidecarsOf(confDir).empty() && !Runs(guardian) && RecordNumber("pid") == 0;
  }

  // In a forked host: launch a sidecar with the host's properties, and say
  // its pid and its guardian's (or why not).
  void LaunchAndSay(ForkedHost& self) {
    controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
    WriteProperties();
    const CYrError launched = controller->startPriam();
    self.Say(launched.IsError() ? "failed: " + launched.AsString()
                                : std::to_string(controller->priamPid()) + " " +
                                      std::to_string(controller->guardianPid()));
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
  const std::string ownerOnly = OwnerOnlyRecord(getpid());
  EXPECT_EQ(ReadFile(RecordPath()), ownerOnly);
  WriteProperties();
  ASSERT_FALSE(controller->startPriam().IsError());
  std::unique_ptr<PriamUtil> first = std::move(controller);
  const pid_t sidecar = first->priamPid();
  const int port = first->priamPort();
  EXPECT_FALSE(HasOpen(sidecar, LockPath())) << "the sidecar must not inherit the lock";
  uint64_t startTime = 0;
  ASSERT_TRUE(ZbProcessInfo::StartTime(sidecar, &startTime));
  const pid_t guardian = first->guardianPid();
  uint64_t guardianStart = 0;
  ASSERT_TRUE(ZbProcessInfo::StartTime(guardian, &guardianStart));
  std::string record = "guardian=" + std::to_string(guardian) +
                       "\nguardianstart=" + std::to_string(guardianStart) + "\n" + ownerOnly;
  record.replace(record.find("pid=0\n"), 6,
                 "output=" + confDir + "/zbPriam.out\npid=" + std::to_string(sidecar) + "\n");
  record.replace(
      record.find("port=0\nstarttime=0\n"), 20,
      "port=" + std::to_string(port) + "\nstarttime=" + std::to_string(startTime) + "\n");
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

  // Stopped: the record names the host alone and how its sidecar ended, and
  // the directory stays ours.
  ASSERT_FALSE(first->stopPriam().IsError());
  const std::string stoppedRecord = ReadFile(RecordPath());
  EXPECT_EQ(
      stoppedRecord.rfind("ended=killed by signal 9 (SIGKILL), stopped by its host\nendedat=", 0),
      0u)
      << stoppedRecord;
  EXPECT_EQ(stoppedRecord.substr(stoppedRecord.find("host=")), ownerOnly);
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
  ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(confDir, record).IsError());
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

TEST_F(RealHost, EverySidecarOfTheDirectoryThatNoLiveHostOwnsIsStopped) {
  // Records that lie: they name processes that are no sidecar of this
  // directory, which are left alone.
  TestProcess sleeper("/bin/sleep", "/bin/sleep 600");
  TestProcess otherDirectory(PRIAM_STANDIN_JAVA,
                             SidecarCommand(PRIAM_STANDIN_JAVA, "", root.file("other-conf")));
  SidecarRecord ended = sleeper.Record();
  ended.sidecar = 0x7ffffff0;
  for (const SidecarRecord& lie : {ended, sleeper.Record(), otherDirectory.Record()}) {
    ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(confDir, lie).IsError());
    Make();
    WriteProperties();
    ASSERT_FALSE(controller->startPriam().IsError());
    EXPECT_TRUE(sleeper.Runs() && otherDirectory.Runs());
    EXPECT_EQ(CountStartingWith("Stopped the Priam sidecar"), 0);
    controller.reset();
  }

  // A sidecar of the directory is found by what it runs, however it names
  // the directory, with no record or a record that names another process;
  // the next construction stops it before it writes anything.
  ASSERT_EQ(symlink(confDir.c_str(), root.file("conf-link").c_str()), 0);
  const std::string deadHost =
      std::string(ZbCassandra::kHostVariable) + "=" + std::to_string(sleeper.pid()) + ":1";
  for (const std::string& spelling :
       {confDir, confDir + "/", confDir + "/./", root.file("conf-link")}) {
    SCOPED_TRACE(spelling);
    TestProcess spelled(PRIAM_STANDIN_JAVA, SidecarCommand(PRIAM_STANDIN_JAVA, "", spelling),
                        {deadHost});
    if (spelling == confDir) {
      ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(confDir, sleeper.Record()).IsError());
    } else {
      unlink(RecordPath().c_str());
    }
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
  EXPECT_TRUE(sleeper.Runs() && otherDirectory.Runs());

  // A sidecar that names a live host is that host's, whatever the lock says:
  // nothing is written, nothing stopped.
  uint64_t sleeperStart = 0;
  ASSERT_TRUE(ZbProcessInfo::StartTime(sleeper.pid(), &sleeperStart));
  TestProcess owned(PRIAM_STANDIN_JAVA, SidecarCommand(PRIAM_STANDIN_JAVA, "", confDir),
                    {std::string(ZbCassandra::kHostVariable) + "=" + std::to_string(sleeper.pid()) +
                     ":" + std::to_string(sleeperStart)});
  unlink(RecordPath().c_str());
  controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
  EXPECT_TRUE(controller->initFailed());
  EXPECT_EQ(CountContaining(-1, "belongs to another host (process " +
                                    std::to_string(sleeper.pid()) + "), although its lock is free"),
            1)
      << log->AllText();
  EXPECT_TRUE(owned.Runs());
  EXPECT_FALSE(testsupport::PathExists(RecordPath()));
}

TEST_F(RealHost, AWorkerForkedByTheHostOwnsNothingAndLeavesTheDirectoryAsItWas) {
  ForkedHost host([&](ForkedHost& self) {
    LaunchAndSay(self);
    g_staticController = std::move(controller);
    // A worker that uses the controller it inherited, then returns through
    // exit(), which destroys its copy of the static object.
    const pid_t worker = fork();
    if (worker == 0) {
      std::string said;
      for (const CYrError& error :
           {g_staticController->writePriamProperties({{"priam.cqlport", "1"}}),
            g_staticController->deleteEntries(), g_staticController->stopPriam(),
            g_staticController->startPriam()}) {
        said += std::to_string(error.Code()) + " " + error.Message() + "|";
      }
      CYrString reply;
      said += g_staticController->get(ZbCassandra::requestType::Get, "info", reply, "").Message();
      self.Say(said);
      exit(0);
    }
    waitpid(worker, nullptr, 0);
    // One that lives on after the host.
    const pid_t livesOn = fork();
    if (livesOn == 0) {
      pause();
      _exit(0);
    }
    self.Say(std::to_string(livesOn));
    self.Hear();
  });
  const pid_t sidecar = atoi(host.Expect().c_str());
  ASSERT_GT(sidecar, 0);
  const std::string refusal = "This Priam controller belongs to process " +
                              std::to_string(host.pid()) + " (it was copied into process ";
  const std::string said = host.Expect();
  EXPECT_EQ(std::count(said.begin(), said.end(), '|'), 4) << said;
  size_t at = 0;
  for (int i = 0; i < 5; ++i, at = said.find('|', at) + 1) {
    EXPECT_EQ(said.compare(at + (i < 4 ? 5 : 0), refusal.size(), refusal), 0) << said;
  }
  const pid_t livesOn = atoi(host.Expect().c_str());
  ASSERT_GT(livesOn, 0);

  // The worker's end changed nothing: the record still names the host and
  // its sidecar, which serves.
  PriamUtil::DirectoryReport report;
  ASSERT_FALSE(PriamUtil::reportDirectory(confDir, &report).IsError());
  EXPECT_EQ(report.owner, host.pid());
  EXPECT_TRUE(report.ownerAlive);
  EXPECT_EQ(report.recordedSidecar, sidecar);
  ASSERT_EQ(report.sidecars.size(), 1u);
  EXPECT_TRUE(report.sidecars[0].owners);
  EXPECT_EQ(ZbFileLock::Holder(LockPath()), host.pid());

  // Once the host is gone, the child that lives on keeps no lock: the
  // guardian stops the sidecar, and the next host takes the directory.
  host.Kill();
  EXPECT_TRUE(launchtest::WaitFor([&] { return !Runs(sidecar); }, 10));
  EXPECT_TRUE(launchtest::WaitFor([&] { return ZbFileLock::Holder(LockPath()) == 0; }, 10));
  Make();
  WriteProperties();
  ASSERT_FALSE(controller->startPriam().IsError());
  EXPECT_EQ(SidecarsOf(confDir), std::vector<pid_t>{controller->priamPid()});
  EXPECT_TRUE(Runs(livesOn));
  kill(livesOn, SIGKILL);
}

TEST_F(RealHost, ControllersMadeWhileAnotherThreadStartsProgramsAreNeverRefused) {
  std::atomic<bool> spawning(true);
  std::thread spawner([&] {
    std::string output;
    while (spawning) ZbProcess::system("true", &output, nullptr, 0, false);
  });
  int refused = 0;
  for (int i = 0; i < 152; ++i) {
    controller.reset();
    controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
    refused += controller->initFailed() ? 1 : 0;
  }
  spawning = false;
  spawner.join();
  EXPECT_EQ(refused, 0) << log->AllText();
}

TEST_F(RealHost, ALiveHostKeepsItsDirectoryWhenItsLockFileIsRemovedOrTheDirectoryMoves) {
  for (const bool moved : {false, true}) {
    SCOPED_TRACE(moved ? "the directory moved" : "the lock file removed");
    ForkedHost owner([&](ForkedHost& self) {
      LaunchAndSay(self);
      for (std::string command = self.Hear(); command == "write"; command = self.Hear()) {
        const CYrError written = controller->writePriamProperties({{"priam.cqlport", "3333"}});
        self.Say(written.IsError() ? written.Message() : "written");
      }
      controller.reset();
      self.Say("ended");
      self.Hear();
    });
    const pid_t sidecar = atoi(owner.Expect().c_str());
    ASSERT_GT(sidecar, 0);
    const std::string movedDir = confDir + ".old";
    if (moved) {
      ASSERT_EQ(rename(confDir.c_str(), movedDir.c_str()), 0);
      ASSERT_EQ(mkdir(confDir.c_str(), 0700), 0);
    } else {
      ASSERT_EQ(unlink(LockPath().c_str()), 0);
    }

    // An operator's stop and another host leave the live host's sidecar and
    // files alone, and say whose they are.
    std::vector<pid_t> stopped;
    const CYrError stop = PriamUtil::stopDirectorySidecars(confDir, false, &stopped);
    EXPECT_EQ(stop.Message(), "The Priam configuration directory " + confDir +
                                  " belongs to a live host (process " +
                                  std::to_string(owner.pid()) + ")");
    EXPECT_TRUE(stopped.empty());
    unlink(LockPath().c_str());
    const std::string files = testsupport::DirectorySnapshot(confDir);
    controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
    EXPECT_TRUE(controller->initFailed());
    EXPECT_EQ(CountContaining(-1, "belongs to another host (process " +
                                      std::to_string(owner.pid()) + "), although its lock is free"),
              1)
        << log->AllText();
    controller.reset();
    log->Clear();
    unlink(LockPath().c_str());
    EXPECT_EQ(testsupport::DirectorySnapshot(confDir), files);
    EXPECT_TRUE(Runs(sidecar));

    // The owner writes on in its own directory, and only there.
    owner.Tell("write");
    if (moved) {
      EXPECT_EQ(owner.Expect(), "The Priam configuration directory " + confDir +
                                    " was moved or replaced while this host owned it; nothing "
                                    "was written there");
      EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriam.properties"));
    } else {
      EXPECT_EQ(owner.Expect(), "written");
      EXPECT_NE(Properties().find("priam.cqlport=3333\n"), std::string::npos);
      EXPECT_EQ(ZbFileLock::Holder(LockPath()), owner.pid()) << "locked again";
    }
    owner.Tell("end");
    EXPECT_EQ(owner.Expect(), "ended");
    EXPECT_FALSE(Runs(sidecar));
    EXPECT_TRUE(SidecarsOf(confDir).empty());
    EXPECT_FALSE(testsupport::PathExists((moved ? movedDir : confDir) + "/zbPriam.sidecar"))
        << "the owner removed its own record";
  }
}

// A host that execs another program keeps its pid and start time, but its
// lock went with its descriptors: it owns nothing any more, and its sidecar
// is an orphan like that of a host that died.
TEST_F(RealHost, AHostThatExecsAnotherProgramLeavesAnOrphanForTheNextHostOrAStop) {
  for (const bool byStop : {false, true}) {
    SCOPED_TRACE(byStop ? "an operator's stop" : "the next host");
    ForkedHost host([&](ForkedHost& self) {
      Make();
      WriteProperties();
      const CYrError launched = controller->startPriam();
      WriteProperties();  // for its next launch
      // Said once the library is done: a call after the guardian's death
      // would put another in its place.
      self.Say(launched.IsError() ? "failed: " + launched.AsString()
                                  : std::to_string(controller->priamPid()) + " " +
                                        std::to_string(controller->guardianPid()));
      self.Hear();
      execl("/bin/sleep", "sleep", "1000", static_cast<char*>(nullptr));
    });
    const std::string said = host.Expect();
    const pid_t sidecar = atoi(said.c_str());
    ASSERT_GT(sidecar, 0) << said;
    // Its guardian would clean up after the exec by itself; without it,
    // only the judgement of the host is left to find the orphan.
    const pid_t guardian = atoi(said.substr(said.find(' ') + 1).c_str());
    if (guardian > 0) kill(guardian, SIGKILL);
    ASSERT_TRUE(launchtest::WaitFor([&] { return !Runs(guardian); }, 10));
    host.Tell("exec");
    ASSERT_TRUE(launchtest::WaitFor(
        [&] { return ReadFile("/proc/" + std::to_string(host.pid()) + "/comm") == "sleep\n"; },
        10));
    ASSERT_TRUE(Runs(sidecar));

    PriamUtil::DirectoryReport report;
    ASSERT_FALSE(PriamUtil::reportDirectory(confDir, &report).IsError());
    EXPECT_EQ(report.owner, host.pid());
    EXPECT_FALSE(report.ownerAlive) << "its pid and start time still match";
    ASSERT_EQ(report.sidecars.size(), 1u);
    EXPECT_FALSE(report.sidecars[0].hostAlive || report.sidecars[0].owners);

    if (byStop) {
      std::vector<pid_t> stopped;
      const CYrError stop = PriamUtil::stopDirectorySidecars(confDir, false, &stopped);
      EXPECT_FALSE(stop.IsError()) << stop.AsString();
      EXPECT_EQ(stopped, std::vector<pid_t>{sidecar});
      ExpectNoSecretLeft();
    } else {
      Make();
      EXPECT_EQ(controller->stoppedOrphanPid(), sidecar);
      controller.reset();
    }
    EXPECT_FALSE(Runs(sidecar));
    EXPECT_TRUE(SidecarsOf(confDir).empty());
  }
}

// A host that died on a full filesystem leaves a record that no rewrite
// can replace: taking the directory removes it, which needs no room.
TEST_F(RealHost, OnAFullFilesystemTheRecordOfAHostThatDiedIsClearedAllTheSame) {
  testsupport::SmallFilesystem small(8u << 20);
  if (!small.mounted()) GTEST_SKIP() << small.refusal();
  const std::string conf = small.path();
  SidecarRecord dead;
  dead.host = 0x7ffffff1;  // no such process
  dead.hostStart = 1;
  ASSERT_FALSE(ZbCassandra::WriteSidecarRecord(conf, dead).IsError());
  WriteFile(conf + "/zbPriam.properties", "priam.jmx.token=left-behind\n");
  small.FillUp("filler");

  std::vector<pid_t> stopped;
  const CYrError stop = PriamUtil::stopDirectorySidecars(conf, false, &stopped);
  EXPECT_FALSE(stop.IsError()) << stop.AsString();
  EXPECT_FALSE(testsupport::PathExists(conf + "/zbPriam.sidecar"));
  EXPECT_EQ(ReadFile(conf + "/zbPriam.properties").find("left-behind"), std::string::npos);
}

TEST_F(RealHost, AHostKilledBetweenSpawnAndRecordLeavesASidecarThatIsFoundAndStopped) {
  // Its guardian would clean up at once; without one, the next host must.
  ForkedHost host([&](ForkedHost& self) {
    Make();
    WriteProperties();
    ZbCassandra::PriamUtilTestAccess::afterSpawn(*controller) = [&self, this](pid_t sidecar) {
      self.Say(std::to_string(sidecar) + " " + std::to_string(controller->guardianPid()));
      pause();
    };
    controller->startPriam();
  });
  const std::string said = host.Expect();
  const pid_t sidecar = atoi(said.c_str());
  const pid_t guardian = atoi(said.c_str() + said.find(' '));
  ASSERT_GT(sidecar, 0);
  ASSERT_GT(guardian, 0);
  kill(guardian, SIGKILL);
  ASSERT_TRUE(launchtest::WaitFor([&] { return !Runs(guardian); }, 10));
  const pid_t hostPid = host.pid();
  host.Kill();
  EXPECT_EQ(ReadFile(RecordPath()).find("\npid=0\n") != std::string::npos, true)
      << "the sidecar was never recorded";
  EXPECT_NE(Properties().find(launchtest::kSecrets.begin()->second), std::string::npos);

  PriamUtil::DirectoryReport report;
  ASSERT_FALSE(PriamUtil::reportDirectory(confDir, &report).IsError());
  ASSERT_EQ(report.sidecars.size(), 1u);
  EXPECT_EQ(report.sidecars[0].pid, sidecar);
  EXPECT_EQ(report.sidecars[0].host, hostPid);
  EXPECT_FALSE(report.sidecars[0].hostAlive || report.sidecars[0].owners);
  EXPECT_TRUE(report.secretsLeft);

  Make();
  EXPECT_EQ(controller->stoppedOrphanPid(), sidecar);
  EXPECT_FALSE(Runs(sidecar));
  WriteProperties();
  ASSERT_FALSE(controller->startPriam().IsError());
  EXPECT_EQ(SidecarsOf(confDir), std::vector<pid_t>{controller->priamPid()});
  ExpectNoSecretLeft();
}

TEST_F(RealHost, WhenTheHostDiesItsGuardianStopsTheSidecarAndTakesTheSecretsOut) {
  struct Death {
    const char* what;
    std::function<void(ForkedHost&)> host;
    // Ends the host once its sidecar runs.
    std::function<void(ForkedHost&, pid_t guardian)> end;
  };
  const auto serve = [this](ForkedHost& self) {
    LaunchAndSay(self);
    if (self.Hear() == "exit") _exit(0);
  };
  const std::vector<Death> deaths = {
      {"SIGKILL while the sidecar serves", serve, [](ForkedHost& host, pid_t) { host.Kill(); }},
      {"SIGKILL during the real 30-second wait",
       [this](ForkedHost& self) {
         Make();
         WriteProperties();
         UsePlatformSleep();
         self.Say("- -");
         controller->startPriam();
       },
       [this](ForkedHost& host, pid_t) {
         ASSERT_TRUE(launchtest::WaitFor(
             [&] {
               return RecordNumber("port") > 0 &&
                      testsupport::PortAcceptsConnections(static_cast<int>(RecordNumber("port")));
             },
             30));
         EXPECT_NE(Properties().find(launchtest::kSecrets.begin()->second), std::string::npos);
         host.Kill();
       }},
      {"SIGKILL during a request's retries",
       [this](ForkedHost& self) {
         LaunchAndSay(self);
         UsePlatformSleep();
         CYrString reply;
         controller->get(ZbCassandra::requestType::Get, "no-such-operation", reply, "");
       },
       [this](ForkedHost& host, pid_t) {
         ASSERT_TRUE(launchtest::WaitFor(
             [&] {
               // The stand-in logs each request into its log4j file.
               return ReadFile(logDir + "/zbPriam.log").find("no-such-operation") !=
                      std::string::npos;
             },
             30));
         host.Kill();
       }},
      {"_exit() with the controller alive", serve,
       [](ForkedHost& host, pid_t) {
         host.Tell("exit");
         launchtest::WaitFor([&] { return !Runs(host.pid()); }, 10);
         host.Kill();
       }},
      {"a service manager's stop: SIGTERM to the host and the guardian together", serve,
       [](ForkedHost& host, pid_t guardian) {
         kill(host.pid(), SIGTERM);
         kill(guardian, SIGTERM);
         launchtest::WaitFor([&] { return !Runs(host.pid()); }, 10);
         host.Kill();
       }},
  };
  for (const Death& death : deaths) {
    SCOPED_TRACE(death.what);
    ForkedHost host(death.host);
    const std::string said = host.Expect();
    ASSERT_FALSE(said.empty() || said.rfind("failed", 0) == 0) << said;
    ASSERT_TRUE(launchtest::WaitFor(
        [&] { return RecordNumber("pid") > 0 && RecordNumber("guardian") > 0; }, 30));
    const pid_t sidecar = static_cast<pid_t>(RecordNumber("pid"));
    const pid_t guardian = static_cast<pid_t>(RecordNumber("guardian"));
    death.end(host, guardian);
    EXPECT_TRUE(launchtest::WaitFor([&] { return NothingLeft(guardian); }, 10))
        << "sidecar " << Runs(sidecar) << ", guardian " << Runs(guardian) << "\n"
        << Properties() << ReadFile(confDir + "/zbPriam.out");
    // Who ended the sidecar outlives its host and the record.
    PriamUtil::SidecarActivity activity;
    ASSERT_FALSE(
        PriamUtil::reportSidecarActivity(confDir, 0, &activity, nullptr, nullptr).IsError());
    EXPECT_EQ(activity.state, PriamUtil::SidecarActivity::kNotRunning);
    EXPECT_EQ(activity.lastEnd.by, PriamUtil::SidecarActivity::kGuardian) << activity.lastEnd.text;
    EXPECT_EQ(activity.lastEnd.pid, sidecar);
  }
}

TEST_F(RealHost, NoSecretAndNoProcessOfTheDirectoryOutlivesItsHostOnAnyPath) {
  struct Path {
    const char* what;
    std::function<void(ForkedHost&)> host;
    // Ends the host (or makes it exec) once it said its first line.
    std::function<void(ForkedHost&, const std::string& said)> end;
  };
  // In the host: launch, say so, then exec another program when told.
  const auto execWhenTold = [](ForkedHost& self) {
    if (self.Hear() == "exec") execl("/bin/sleep", "sleep", "1000", static_cast<char*>(nullptr));
    self.Say("exec failed");
  };
  const auto secretsNow = [this] { return FilesWithSecrets(confDir).empty() ? "none" : "left"; };
  const std::vector<Path> paths = {
      {"cancel() before startPriam(), then a normal exit",
       [&](ForkedHost& self) {
         Make();
         WriteProperties();
         controller->cancel();
         const CYrError launched = controller->startPriam();
         self.Say(std::to_string(launched.Code()) + " " + secretsNow());
         if (self.Hear() == "exit") exit(0);
       },
       [](ForkedHost& host, const std::string& said) {
         EXPECT_EQ(said, "1223 none") << "cancelled, and the secrets already gone";
         host.Tell("exit");
       }},
      {"SIGKILL after writePriamProperties(), before startPriam()",
       [&](ForkedHost& self) {
         Make();
         WriteProperties();
         self.Say(std::to_string(controller->guardianPid()));
         pause();
       },
       [&](ForkedHost& host, const std::string& said) {
         EXPECT_GT(atoi(said.c_str()), 0) << "a guardian watches the secrets";
         EXPECT_FALSE(FilesWithSecrets(confDir).empty());
         host.Kill();
       }},
      {"a launch that fails before any sidecar exists, then _exit()",
       [&](ForkedHost& self) {
         const std::string java = root.file("java-gone");
         WriteFile(java, "#!/bin/sh\nexec " + std::string(PRIAM_STANDIN_JAVA) + " \"$@\"\n", 0755);
         Make(0, java);
         WriteProperties();
         unlink(java.c_str());
         const CYrError launched = controller->startPriam();
         self.Say(launched.Message().substr(0, 27) + " " + secretsNow());
         _exit(0);
       },
       [](ForkedHost&, const std::string& said) {
         EXPECT_EQ(said, "FAILED TO START THE PROCESS none");
       }},
      {"execve() while its sidecar serves",
       [&](ForkedHost& self) {
         LaunchAndSay(self);
         execWhenTold(self);
       },
       [](ForkedHost& host, const std::string&) { host.Tell("exec"); }},
      {"execve() while a worker it forked lives on",
       [&](ForkedHost& self) {
         LaunchAndSay(self);
         if (fork() == 0) {
           prctl(PR_SET_PDEATHSIG, SIGKILL);  // it goes with the test's end of the host
           pause();
           _exit(0);
         }
         execWhenTold(self);
       },
       [](ForkedHost& host, const std::string&) { host.Tell("exec"); }},
      {"execve() from another thread during the launch's wait",
       [&](ForkedHost& self) {
         std::thread([&self, execWhenTold] { execWhenTold(self); }).detach();
         Make();
         WriteProperties();
         UsePlatformSleep();
         self.Say("waiting");
         controller->startPriam();
       },
       [&](ForkedHost& host, const std::string&) {
         ASSERT_TRUE(launchtest::WaitFor(
             [&] {
               return RecordNumber("port") > 0 &&
                      testsupport::PortAcceptsConnections(static_cast<int>(RecordNumber("port")));
             },
             30));
         host.Tell("exec");
       }},
      {"its guardian SIGKILLed during a request, then the host SIGKILLed",
       [&](ForkedHost& self) {
         controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
         WriteProperties({{"standin.hang.operation", "freeze"}});
         const CYrError launched = controller->startPriam();
         self.Say(launched.IsError() ? "failed: " + launched.AsString()
                                     : std::to_string(controller->guardianPid()));
         CYrString reply;
         controller->get(ZbCassandra::requestType::Get, "freeze", reply, "");
       },
       [&](ForkedHost& host, const std::string& said) {
         const pid_t first = atoi(said.c_str());
         ASSERT_TRUE(launchtest::WaitFor(
             [&] { return ReadFile(logDir + "/zbPriam.log").find("freeze") != std::string::npos; },
             30));
         ::kill(first, SIGKILL);
         // The host, in its transfer, puts another in its place.
         ASSERT_TRUE(launchtest::WaitFor(
             [&] { return RecordNumber("guardian") > 0 && RecordNumber("guardian") != first; },
             10));
         EXPECT_TRUE(Runs(static_cast<pid_t>(RecordNumber("guardian"))));
         host.Kill();
       }},
  };
  for (const Path& path : paths) {
    SCOPED_TRACE(path.what);
    ForkedHost host(path.host);
    const std::string said = host.Expect();
    ASSERT_FALSE(said.empty() || said.rfind("failed", 0) == 0) << said;
    path.end(host, said);
    EXPECT_TRUE(launchtest::WaitFor(
        [&] {
          return FilesWithSecrets(confDir).empty() && SidecarsOf(confDir).empty() &&
                 GuardiansOf(confDir).empty() && RecordNumber("pid") == 0;
        },
        10))
        << "secrets in " << FilesWithSecrets(confDir).size() << " files, "
        << SidecarsOf(confDir).size() << " sidecars, " << GuardiansOf(confDir).size()
        << " guardians\n"
        << ReadFile(confDir + "/zbPriam.out");
    // Nothing of it is left to stand in a next host's way.
    Make();
    controller.reset();
    host.Kill();
  }
}

// A host acts on a failure by its cause: each cause made by a real one, with
// whether the same call made again later can help.
TEST_F(RealHost, EachFailureTellsItsCauseAndWhetherTryingAgainLaterCanHelp) {
  using ZbCassandra::FailureReason;
  const auto cause = [this](const CYrError& error, FailureReason reason, bool retryLater) {
    EXPECT_TRUE(error.IsError());
    const PriamUtil::Failure failure = controller->failureOf(error);
    EXPECT_EQ(static_cast<int>(failure.reason), static_cast<int>(reason)) << error.AsString();
    EXPECT_EQ(failure.retryLater, retryLater) << error.AsString();
    return failure;
  };
  CYrString reply;
  {
    SCOPED_TRACE("another host holds the directory");
    ForkedHost host([this](ForkedHost& self) {
      LaunchAndSay(self);
      pause();
    });
    ASSERT_NE(host.Expect().rfind("failed", 0), 0u);
    controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, confDir, nodeDir, false));
    EXPECT_EQ(controller->initFailure().reason, FailureReason::kDirectoryHeld);
    EXPECT_EQ(controller->initFailure().holder, host.pid());
    EXPECT_EQ(cause(controller->startPriam(), FailureReason::kDirectoryHeld, true).holder,
              host.pid());
    controller.reset();
    host.Kill();
    ASSERT_TRUE(launchtest::WaitFor([&] { return GuardiansOf(confDir).empty(); }, 10));
  }
  Make();
  WriteProperties();
  ASSERT_FALSE(controller->startPriam().IsError());
  const pid_t sidecar = controller->priamPid();
  {
    SCOPED_TRACE("a 404, asked to fail at once");
    controller->setNotFoundRetried(false);
    log->Clear();
    const CYrError unknown =
        controller->get(ZbCassandra::requestType::Get, "no-such-operation", reply, "");
    EXPECT_EQ(cause(unknown, FailureReason::kHttpNotFound, false).httpStatus, 404);
    EXPECT_EQ(CountStartingWith("Error: "), 1) << "one attempt";
  }
  {
    SCOPED_TRACE("a stopped sidecar, and a deadline of 2 s in the real sleeps");
    ASSERT_EQ(kill(sidecar, SIGSTOP), 0);
    ASSERT_TRUE(launchtest::WaitFor([&] { return ZbProcessInfo::IsStopped(sidecar); }, 10));
    cause(controller->get(ZbCassandra::requestType::Get, "info", reply, ""),
          FailureReason::kSidecarStopped, true);
    UsePlatformSleep();
    controller->setCallTimeLimit(2000);
    const auto asked = std::chrono::steady_clock::now();
    const CYrError late = controller->get(ZbCassandra::requestType::Get, "info", reply, "");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    cause(late, FailureReason::kDeadlinePassed, true);
    EXPECT_TRUE(FXErrorUtil::IsWin32(late, ZbCassandra::kTimeout)) << late.AsString();
    EXPECT_GE(seconds, 2.0);
    EXPECT_LT(seconds, 10.0) << "well before the retry loop's 300 s of sleeps";
    EXPECT_FALSE(controller->cancelled());
    ASSERT_EQ(kill(sidecar, SIGCONT), 0);
    EXPECT_FALSE(controller->get(ZbCassandra::requestType::Get, "info", reply, "").IsError())
        << "the next call works";
    EXPECT_EQ(controller->failureOf(CYrError::Success()).reason, FailureReason::kNone);
    ShortenSleeps();
  }
  {
    SCOPED_TRACE("a dead sidecar");
    ASSERT_EQ(kill(sidecar, SIGKILL), 0);
    ASSERT_TRUE(launchtest::WaitFor([&] { return controller->priamExited(); }, 10));
    const PriamUtil::Failure dead =
        cause(controller->get(ZbCassandra::requestType::Get, "info", reply, ""),
              FailureReason::kSidecarNotRunning, false);
    EXPECT_EQ(dead.how.rfind("killed by signal 9 (SIGKILL)", 0), 0u) << dead.how;
  }
}

// A host that restarts its dead sidecar gets a new port when the old one
// was taken meanwhile, and the crash's words outlive the failed starts.
TEST_F(RealHost, ARelaunchAfterACrashTakesAFreePortAndKeepsTheCrashsWords) {
  const std::string script = root.file("java-script");
  WriteFile(script,
            "#!/bin/sh\n" + std::string(PRIAM_STANDIN_JAVA) +
                " \"$@\"\necho \"the JVM ended with status $?\"\n",
            0755);
  Make(0, script);
  WriteProperties();
  ASSERT_FALSE(controller->startPriam().IsError());
  const int port = controller->priamPort();
  for (const pid_t pid : SidecarsOf(confDir)) {
    if (pid != controller->priamPid()) kill(pid, SIGKILL);  // the JVM, not its wrapper
  }
  ASSERT_TRUE(launchtest::WaitFor([&] { return controller->priamExited(); }, 10));
  // Another program took the port; relaunches that fail come first.
  ASSERT_TRUE(launchtest::WaitFor([&] { return !testsupport::PortAcceptsConnections(port); }, 10));
  const int taken = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(taken, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);  // past the old TIME_WAITs
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(taken, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(taken, 1), 0);
  for (int failed = 0; failed < 3; ++failed) {
    WriteProperties({{"standin.exit.immediately", "true"}});
    const CYrError relaunched = controller->startPriam();
    EXPECT_EQ(controller->failureOf(relaunched).reason,
              ZbCassandra::FailureReason::kSidecarExitedDuringStart)
        << relaunched.AsString();
  }
  WriteProperties({{"standin.exit.immediately", "false"}});
  const CYrError relaunched = controller->startPriam();
  close(taken);
  ASSERT_FALSE(relaunched.IsError()) << relaunched.AsString();
  EXPECT_NE(controller->priamPort(), port);
  EXPECT_EQ(CountStartingWith("Port " + std::to_string(port) +
                              ", picked for an earlier launch, "
                              "is taken now; using port "),
            1)
      << "the port picked then is free for the starts after it";
  EXPECT_NE(ReadFile(confDir + "/zbPriam.out.crash").find("the JVM ended with status 137"),
            std::string::npos)
      << ReadFile(confDir + "/zbPriam.out.crash");
}

TEST_F(RealHost, WhatAWrapperOrALauncherStartsIsTheSidecarsAndEndsWithIt) {
  struct Java {
    const char* what;
    std::string script;
    bool serves;
  };
  const std::string java = PRIAM_STANDIN_JAVA;
  const std::vector<Java> javas = {
      {"a wrapper that does not exec", java + " \"$@\"\n", true},
      {"a launcher that forks the JVM and exits", java + " \"$@\" &\n", false},
      {"a launcher that gives the JVM a session of its own", "setsid " + java + " \"$@\" &\n",
       false},
  };
  for (const Java& entry : javas) {
    SCOPED_TRACE(entry.what);
    const std::string script = root.file("java-script");
    WriteFile(script, "#!/bin/sh\n" + entry.script, 0755);
    Make(0, script);
    WriteProperties();
    const CYrError launched = controller->startPriam();
    if (entry.serves) {
      ASSERT_FALSE(launched.IsError()) << launched.AsString();
      PriamUtil::DirectoryReport report;
      ASSERT_FALSE(PriamUtil::reportDirectory(confDir, &report).IsError());
      EXPECT_EQ(report.sidecars.size(), 2u) << "the wrapper and its JVM";
      for (const auto& sidecar : report.sidecars) EXPECT_TRUE(sidecar.owners);
      ASSERT_FALSE(controller->stopPriam().IsError());
    } else {
      EXPECT_EQ(
          launched.Message().rfind("The Priam sidecar exited during its start (exit status 0", 0),
          0u)
          << launched.AsString();
    }
    EXPECT_TRUE(SidecarsOf(confDir).empty()) << "nothing of the directory runs";
    ExpectNoSecretLeft();
    controller.reset();
  }
}

}  // namespace
