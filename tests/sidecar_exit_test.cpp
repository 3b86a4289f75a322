// A sidecar that cannot start, or dies, fails the host's call at once and in
// its own words. Real JVMs throughout, and the platform's own sleep: the
// library's waits must end when the sidecar does, not after 30 seconds.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "LaunchFixture.h"
#include "RefusingPort.h"
#include "SmallFilesystem.h"

namespace {

using Clock = std::chrono::steady_clock;
using launchtest::WaitFor;
using testsupport::ReadFile;
using testsupport::WriteFile;
using ZbCassandra::PriamUtil;
using ZbCassandra::requestType;

// Far below the 30-second wait and the retry sleeps: the call ended with the
// sidecar, not with a wait that ran its course. (The time it takes is a
// benchmark's business.)
constexpr double kWellBeforeAnyWaitEnds = 5.0;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The sidecar a launch recorded, once it listens on its port.
pid_t ListeningSidecar(const std::string& record) {
  pid_t pid = 0;
  WaitFor(
      [&] {
        const std::string text = testsupport::PathExists(record) ? ReadFile(record) : "";
        const size_t at = text.find("\npid=");
        const size_t port = text.find("\nport=");
        pid = at == std::string::npos ? 0 : atoi(text.c_str() + at + 5);
        return pid > 0 && port != std::string::npos &&
               testsupport::PortAcceptsConnections(atoi(text.c_str() + port + 6));
      },
      30);
  return pid;
}

class SidecarExit : public launchtest::LaunchTest {
 protected:
  std::string Output() const { return confDir + "/zbPriam.out"; }
  std::string RecordPath() const { return confDir + "/zbPriam.sidecar"; }
  bool RecordNamesASidecar() const {
    return ReadFile(RecordPath()).find("\npid=0\n") == std::string::npos;
  }
};

TEST_F(SidecarExit, ASidecarThatCannotStartFailsTheLaunchWithTheJvmsReason) {
  const testsupport::RefusingPort taken;
  struct Case {
    const char* what;
    int port;
    std::function<void(PriamUtil&)> spoil;
    std::string exit;  // how the launch says it ended
  };
  const std::string lastLine = "exit status 1, its last output line: ";
  const std::vector<Case> cases = {
      {"a jar that is not one", 0,
       [&](PriamUtil&) {
         unlink((priamDir + "/priam.jar").c_str());
         WriteFile(priamDir + "/priam.jar", "not a jar\n");
       },
       lastLine + "\"Caused by: java.lang.ClassNotFoundException: jerseyserve.server\""},
      {"a Java option the JVM refuses", 0,
       [&](PriamUtil& priam) {
         unlink((priamDir + "/priam.jar").c_str());
         ASSERT_EQ(symlink(PRIAM_STANDIN_JAR, (priamDir + "/priam.jar").c_str()), 0);
         priam.setJavaOptions("-Xmx1k");
       },
       lastLine + "\"Too small maximum heap\""},
      // The stand-in says why in its log, not on its output.
      {"a port that another process holds", taken.port(), [](PriamUtil&) {}, "exit status 1"},
  };
  UsePlatformSleep();
  std::string previousOutput;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    PriamUtil& priam = Make(test.port);
    test.spoil(priam);
    WriteProperties();
    log->Clear();
    const Clock::time_point start = Clock::now();
    const CYrError launch = priam.startPriam();
    EXPECT_LT(SecondsSince(start), kWellBeforeAnyWaitEnds);

    EXPECT_EQ(launch.Code(), 1627);
    EXPECT_EQ(launch.Message(), "The Priam sidecar exited during its start (" + test.exit + ")");
    EXPECT_EQ(log->Count(launch.Message()), 1) << "logged once";
    for (const std::string& failure : log->Texts(-1)) {
      EXPECT_TRUE(failure == launch.Message() ||
                  failure == " Failed to access the reg key for wait time ")
          << "nothing else, least of all a port-lookup failure: " << failure;
    }
    ExpectNoSecretLeft();
    EXPECT_FALSE(RecordNamesASidecar());
    EXPECT_FALSE(priam.priamStarted());

    // Owner-only, and the launch before it kept beside it.
    EXPECT_EQ(testsupport::FileMode(Output()), 0600);
    if (!previousOutput.empty()) {
      EXPECT_EQ(ReadFile(Output() + ".1"), previousOutput);
    }
    previousOutput = ReadFile(Output());
  }
}

TEST_F(SidecarExit, ASidecarKilledDuringTheWaitOrAfterTheLaunchIsReportedAtOnce) {
  // During the 30-second wait.
  UsePlatformSleep();
  Make();
  WriteProperties();
  Clock::time_point killed;
  std::thread killer([&] {
    const pid_t sidecar = ListeningSidecar(RecordPath());
    killed = Clock::now();
    kill(sidecar, SIGKILL);
  });
  const CYrError launch = controller->startPriam();
  killer.join();
  EXPECT_LT(SecondsSince(killed), kWellBeforeAnyWaitEnds);
  EXPECT_EQ(launch.Code(), 1627);
  EXPECT_EQ(launch.Message().rfind(
                "The Priam sidecar exited during its start (killed by signal 9 (SIGKILL)", 0),
            0u)
      << launch.Message();
  ExpectNoSecretLeft();
  EXPECT_FALSE(RecordNamesASidecar());

  // After a good launch: a request fails at once, without an attempt; one
  // that is waiting between its retries when the sidecar dies, as soon as
  // it does. The exit is logged once.
  PriamUtil& priam = Make();
  WriteProperties();
  ShortenSleeps();
  ASSERT_FALSE(priam.startPriam().IsError());
  UsePlatformSleep();
  const pid_t sidecar = priam.priamPid();
  log->Clear();
  CYrString reply;
  killer = std::thread([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    killed = Clock::now();
    kill(sidecar, SIGKILL);
  });
  const CYrError retrying = priam.get(requestType::Get, "no-such-operation", reply, "");
  killer.join();
  EXPECT_LT(SecondsSince(killed), kWellBeforeAnyWaitEnds);
  const std::string notRunning = "The Priam sidecar is not running (killed by signal 9 (SIGKILL))";
  EXPECT_EQ(retrying.Code(), 2250);
  EXPECT_EQ(retrying.Message(), notRunning);
  const Clock::time_point start = Clock::now();
  const CYrError next = priam.get(requestType::Get, "info", reply, "");
  EXPECT_LT(SecondsSince(start), 1.0) << "no attempt, no sleep";
  EXPECT_EQ(next.Message(), notRunning);
  EXPECT_EQ(log->Count(notRunning), 1);
  std::string how;
  EXPECT_TRUE(priam.priamExited(&how));
  EXPECT_EQ(how, "killed by signal 9 (SIGKILL)");

  // Stopping it signals nothing and clears the record; a new launch works.
  EXPECT_FALSE(priam.stopPriam().IsError());
  EXPECT_EQ(priam.priamPid(), 0);
  EXPECT_FALSE(RecordNamesASidecar());
  ShortenSleeps();
  WriteProperties();
  ASSERT_FALSE(priam.startPriam().IsError());
  EXPECT_FALSE(priam.priamExited());
  EXPECT_EQ(Info()["port"], priam.priamPort());
}

// Many daemons set SIGCHLD to SIG_IGN: the kernel then reaps every child
// itself, and no exit status is left for anyone.
TEST_F(SidecarExit, AHostThatIgnoresSigchldLaunchesAndNoticesItsSidecarsDeath) {
  const pid_t host = fork();
  ASSERT_GE(host, 0);
  if (host == 0) {
    signal(SIGCHLD, SIG_IGN);
    std::string failures;
    // Java is discovered like in any host ("which java" finds it), and
    // every tool command of discovery and port validation is judged by its
    // output. The fixture's shortened sleeps wait for this controller's
    // sidecar.
    PriamUtil& priam = Make(0, "");
    if (priam.initFailed() || priam.javaPath().IsEmpty()) {
      failures += "construction: " + log->AllText() + "\n";
    }
    const CYrError launch = priam.startPriam();
    if (launch.IsError()) failures += "launch: " + launch.AsString() + "\n";
    if (priam.priamPid() > 0) kill(priam.priamPid(), SIGKILL);
    YRSLEEP_SetHandler(nullptr);
    CYrString reply;
    const CYrError request = priam.get(requestType::Get, "info", reply, "");
    if (request.Message() !=
        "The Priam sidecar is not running (exit status unknown (reaped "
        "elsewhere))") {
      failures += "request: " + request.AsString() + "\n";
    }
    if (priam.stopPriam().IsError()) failures += "stop failed\n";
    fputs(failures.c_str(), stderr);
    _exit(failures.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(host, &status, 0), host);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "status " << status << "; see the host's stderr above";
}

// A JVM that writes without end fills a small filesystem no further than
// its last tenth: the launch still takes the secrets out, and the next host
// starts there as on any other day.
TEST_F(SidecarExit, ASidecarThatWritesWithoutEndLeavesItsFilesystemATenthFree) {
  testsupport::SmallFilesystem small(8u << 20);
  if (!small.mounted()) GTEST_SKIP() << small.refusal();
  const std::string conf = small.path();
  controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, conf, nodeDir, false));
  ASSERT_FALSE(controller->initFailed());
  controller->setJavaOptions("-Xlog:all=trace:stdout");
  WriteProperties();
  const CYrError launched = controller->startPriam();
  ASSERT_FALSE(launched.IsError()) << launched.AsString();
  WaitFor([&] { return small.FreeBytes() * 100 < small.TotalBytes() * 15; }, 20);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_GE(small.FreeBytes() * 10, small.TotalBytes()) << "a tenth stays free";
  const std::string properties = ReadFile(conf + "/zbPriam.properties");
  for (const auto& secret : launchtest::kSecrets) {
    EXPECT_EQ(properties.find(secret.first), std::string::npos) << secret.first;
  }
  ASSERT_FALSE(controller->stopPriam().IsError());

  controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, conf, nodeDir, false));
  ASSERT_FALSE(controller->initFailed()) << log->AllText();
  WriteProperties();
  const CYrError again = controller->startPriam();
  EXPECT_FALSE(again.IsError()) << again.AsString();
  controller.reset();
}

// Each configuration directory has its own output file, also when the
// hosts share a log-file directory: each death report and each status quote
// their own sidecar.
TEST_F(SidecarExit, DirectoriesSharingALogDirectoryEachQuoteTheirOwnSidecar) {
  const std::string otherConf = root.file("conf-b");
  mkdir(otherConf.c_str(), 0700);
  struct Host {
    std::string conf;
    std::string heap;  // as the JVM prints it at its start
    PriamUtil* controller;
  };
  std::unique_ptr<PriamUtil> other(
      new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, otherConf, nodeDir, false));
  std::vector<Host> hosts = {{confDir, "MaxHeapSize=67108864", &Make()},
                             {otherConf, "MaxHeapSize=83886080", other.get()}};
  for (const Host& host : hosts) {
    const std::string mebibytes = host.heap == hosts[0].heap ? "64" : "80";
    host.controller->setJavaOptions("-XX:+PrintCommandLineFlags -Xmx" + mebibytes + "m");
    ASSERT_FALSE(host.controller->writePriamProperties(launchtest::kSecrets).IsError());
    const CYrError launched = host.controller->startPriam();
    ASSERT_FALSE(launched.IsError()) << launched.AsString();
  }
  for (const Host& host : hosts) kill(host.controller->priamPid(), SIGKILL);
  for (const Host& host : hosts) {
    SCOPED_TRACE(host.conf);
    std::string how;
    ASSERT_TRUE(WaitFor([&] { return host.controller->priamExited(&how); }, 10));
    const std::string& otherHeap = host.heap == hosts[0].heap ? hosts[1].heap : hosts[0].heap;
    EXPECT_NE(how.find(host.heap), std::string::npos) << how;
    EXPECT_EQ(how.find(otherHeap), std::string::npos) << how;
    PriamUtil::DirectoryReport report;
    ASSERT_FALSE(PriamUtil::reportDirectory(host.conf, &report).IsError());
    ASSERT_FALSE(report.lastOutput.empty());
    EXPECT_NE(report.lastOutput.back().find(host.heap), std::string::npos);
  }
}

}  // namespace
