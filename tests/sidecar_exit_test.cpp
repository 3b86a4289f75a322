// A sidecar that cannot start, or dies, fails the host's call at once and in
// its own words. Real JVMs throughout, and the platform's own sleep: the
// library's waits must end when the sidecar does, not after 30 seconds.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FXErrorUtil.h"
#include "LaunchFixture.h"
#include "RefusingPort.h"
#include "SmallFilesystem.h"
#include "common/ErrorCodes.h"
#include "ownership/SidecarScan.h"

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
    EXPECT_EQ(priam.failureOf(launch).reason,
              ZbCassandra::FailureReason::kSidecarExitedDuringStart);
    EXPECT_FALSE(priam.failureOf(launch).retryLater) << "its words say what to change first";
    EXPECT_EQ(log->Count(launch.Message()), 1) << "logged once";
    for (const std::string& failure : log->Texts(-1)) {
      EXPECT_TRUE(failure == launch.Message() ||
                  failure == " Failed to access the reg key for wait time ")
          << "nothing else, least of all a port-lookup failure: " << failure;
    }
    ExpectNoSecretLeft();
    EXPECT_FALSE(RecordNamesASidecar());
    EXPECT_FALSE(priam.priamStarted());

    // Until the next launch, a request says how the sidecar ended, at once:
    // no attempt, and none of the retry loop's real sleeps.
    CYrString reply;
    const Clock::time_point asked = Clock::now();
    const CYrError request = priam.get(requestType::Get, "info", reply, "");
    EXPECT_LT(SecondsSince(asked), kWellBeforeAnyWaitEnds);
    EXPECT_TRUE(FXErrorUtil::IsErrNo(request, 2250)) << request.AsString();
    EXPECT_EQ(request.Message(), "The Priam sidecar is not running (" + test.exit + ")");
    EXPECT_EQ(priam.failureOf(request).reason, ZbCassandra::FailureReason::kSidecarNotRunning);
    EXPECT_EQ(priam.failureOf(request).how, test.exit);

    // Owner-only, and the launch before it kept beside it.
    EXPECT_EQ(testsupport::FileMode(Output()), 0600);
    if (!previousOutput.empty()) {
      EXPECT_EQ(ReadFile(Output() + ".1"), previousOutput);
    }
    previousOutput = ReadFile(Output());
  }

  // Once the host stops it, a request gets the answer of a controller that
  // never launched.
  ASSERT_FALSE(controller->stopPriam().IsError());
  ShortenSleeps();
  CYrString reply;
  const CYrError idle = controller->get(requestType::Get, "info", reply, "");
  EXPECT_TRUE(FXErrorUtil::IsErrNo(idle, 2250)) << idle.AsString();
  EXPECT_EQ(idle.Message(), " Priam server not initialized ");
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

// A stopped sidecar (SIGSTOP) answers nothing, yet the system still takes
// its connections: each attempt fails at once and says so, and the retry
// loop keeps its sleeps and limits (shortened here to a thousandth), so the
// whole loop ends before a single attempt's time limit would have (10 s in
// the launch, 300 s in a request). A transfer in flight when the sidecar
// is stopped ends too. Once continued, it answers again.
TEST_F(SidecarExit, AStoppedSidecarFailsEachAttemptAtOnce) {
  Clock::time_point stoppedAt;
  pid_t stopped = 0;
  const auto stop = [&](pid_t sidecar) {
    stopped = sidecar;
    stoppedAt = Clock::now();
    ASSERT_EQ(kill(sidecar, SIGSTOP), 0);
    ASSERT_TRUE(WaitFor([&] { return testsupport::ProcessState(sidecar) == 'T'; }, 10));
  };
  // The launch's wait ends once the sidecar listens, and stops it.
  YRSLEEP_SetHandler([&](uint32_t milliseconds, const char* file, int) {
    if (std::string(file).find("Launch") != std::string::npos) {
      stop(ListeningSidecar(RecordPath()));
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds / 1000));
  });
  Make();
  WriteProperties({{"standin.hang.operation", "freeze"}});
  log->Clear();
  const CYrError launch = controller->startPriam();
  EXPECT_LT(SecondsSince(stoppedAt), kWellBeforeAnyWaitEnds);
  const auto stoppedText = [&] {
    return "The Priam sidecar (process " + std::to_string(stopped) +
           ") is stopped; it cannot answer until it is continued";
  };
  EXPECT_TRUE(FXErrorUtil::IsWin32(launch, 2250)) << launch.AsString();
  EXPECT_EQ(launch.Message(), stoppedText());
  const std::vector<std::string> failures = log->Texts(-1);
  EXPECT_EQ(std::count(failures.begin(), failures.end(), "Error: " + launch.AsString()), 10)
      << "ten attempts, as ever";
  ExpectNoSecretLeft();
  EXPECT_FALSE(controller->priamStarted());
  EXPECT_TRUE(ZbCassandra::FindSidecars(confDir).empty()) << "a stopped process is killed too";

  // A request, and a transfer in flight.
  ShortenSleeps();
  WriteProperties({{"standin.hang.operation", "freeze"}});
  ASSERT_FALSE(controller->startPriam().IsError());
  YRSLEEP_SetHandler([](uint32_t milliseconds, const char*, int) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds / 1000));
  });
  stop(controller->priamPid());
  CYrString reply;
  const CYrError request = controller->get(requestType::Get, "info", reply, "");
  EXPECT_LT(SecondsSince(stoppedAt), kWellBeforeAnyWaitEnds);
  EXPECT_EQ(request.Message(), stoppedText());
  ASSERT_EQ(kill(stopped, SIGCONT), 0);
  EXPECT_EQ(Info()["port"], controller->priamPort());

  std::thread stopper([&] {
    WaitFor(
        [&] {
          return ReadFile(logDir + "/zbPriam.log").find("freeze not answered") != std::string::npos;
        },
        30);
    stop(stopped);
  });
  const CYrError inFlight = controller->get(requestType::Get, "freeze", reply, "");
  stopper.join();
  EXPECT_LT(SecondsSince(stoppedAt), kWellBeforeAnyWaitEnds);
  EXPECT_EQ(inFlight.Message(), stoppedText());

  // A stopped guardian drains nothing: the same at once, in its words.
  ASSERT_EQ(kill(stopped, SIGCONT), 0);
  const pid_t guardian = controller->guardianPid();
  ASSERT_GT(guardian, 0);
  stop(guardian);
  const CYrError unguarded = controller->get(requestType::Get, "info", reply, "");
  EXPECT_LT(SecondsSince(stoppedAt), kWellBeforeAnyWaitEnds);
  EXPECT_TRUE(FXErrorUtil::IsWin32(unguarded, 2250)) << unguarded.AsString();
  EXPECT_NE(unguarded.Message().find("the guardian (process " + std::to_string(guardian) +
                                     ") is stopped"),
            std::string::npos)
      << unguarded.Message();
  ASSERT_EQ(kill(guardian, SIGCONT), 0);
  EXPECT_EQ(controller->guardianPid(), guardian) << "a stopped guardian is not replaced";
  EXPECT_FALSE(controller->stopPriam().IsError());
  EXPECT_TRUE(ZbCassandra::FindSidecars(confDir).empty());
}

// The controller a SIGTERM handler cancels.
PriamUtil* g_cancelledBySignal = nullptr;
void CancelOnSignal(int) {
  if (g_cancelledBySignal) g_cancelledBySignal->cancel();
}

// cancel(), from another thread or from a signal handler, ends whichever
// wait the controller is in: the 30-second wait of a launch, a transfer in
// flight to a sidecar that never answers (a frozen JVM; a stopped JVM
// behind a wrapper script, which the controller cannot see stopped: its
// child, the script, is not), a request's retry sleep. The call
// returns the cancel error at once, every later call too; the launch stops
// its sidecar itself, a request leaves it to the destructor, which still
// stops it; no secret is left on disk. The platform's own sleep throughout.
TEST_F(SidecarExit, ACancelFromAnotherThreadOrASignalHandlerEndsEveryWait) {
  struct sigaction action = {};
  action.sa_handler = CancelOnSignal;
  sigemptyset(&action.sa_mask);
  struct sigaction previous = {};
  ASSERT_EQ(sigaction(SIGTERM, &action, &previous), 0);
  enum class Wait { kLaunch, kTransfer, kTransferToAStoppedJvm, kRetrySleep };
  const std::vector<std::pair<Wait, const char*>> waits = {
      {Wait::kLaunch, "the launch's 30-second wait"},
      {Wait::kTransfer, "a transfer in flight"},
      {Wait::kTransferToAStoppedJvm, "a transfer in flight to a stopped JVM"},
      {Wait::kRetrySleep, "a retry sleep"}};
  const std::string wrapper = root.file("java-wrapper");
  WriteFile(wrapper, "#!/bin/sh\n" + std::string(PRIAM_STANDIN_JAVA) + " \"$@\"\n", 0755);
  for (const auto& wait : waits) {
    for (const bool bySignal : {false, true}) {
      SCOPED_TRACE(std::string(wait.second) + (bySignal ? ", by a SIGTERM handler" : ""));
      PriamUtil& priam =
          Make(0, wait.first == Wait::kTransferToAStoppedJvm ? wrapper : PRIAM_STANDIN_JAVA);
      WriteProperties({{"standin.hang.operation", "freeze"}});
      CYrString reply;
      std::function<CYrError()> call = [&] { return priam.startPriam(); };
      std::function<void()> untilWaiting = [&] { ListeningSidecar(RecordPath()); };
      if (wait.first != Wait::kLaunch) {
        ShortenSleeps();
        ASSERT_FALSE(priam.startPriam().IsError());
        log->Clear();
      }
      if (wait.first == Wait::kTransfer) {
        call = [&] { return priam.get(requestType::Get, "freeze", reply, ""); };
        untilWaiting = [&] {
          WaitFor(
              [&] {
                return ReadFile(logDir + "/zbPriam.log").find("freeze not answered") !=
                       std::string::npos;
              },
              30);
        };
      } else if (wait.first == Wait::kTransferToAStoppedJvm) {
        for (const ZbCassandra::SidecarProcess& found : ZbCassandra::FindSidecars(confDir)) {
          const pid_t jvm = found.process.pid;
          if (jvm == priam.priamPid()) continue;
          kill(jvm, SIGSTOP);
          ASSERT_TRUE(WaitFor([jvm] { return testsupport::ProcessState(jvm) == 'T'; }, 10));
        }
        call = [&] { return priam.get(requestType::Get, "info", reply, ""); };
        untilWaiting = [&] {
          WaitFor([&] { return log->AllText().find(" URL [") != std::string::npos; }, 30);
        };
      } else if (wait.first == Wait::kRetrySleep) {
        call = [&] { return priam.get(requestType::Get, "no-such-operation", reply, ""); };
        untilWaiting = [&] {
          WaitFor(
              [&] { return log->Count(" Priam Server not accepting requests yet. Sleeping ") > 0; },
              30);
        };
      }
      UsePlatformSleep();
      g_cancelledBySignal = &priam;
      Clock::time_point cancelledAt;
      std::thread canceller([&] {
        untilWaiting();
        // Well into the wait, not at its first moment.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancelledAt = Clock::now();
        if (bySignal) {
          kill(getpid(), SIGTERM);
        } else {
          priam.cancel();
        }
      });
      const CYrError error = call();
      canceller.join();
      EXPECT_LT(SecondsSince(cancelledAt), kWellBeforeAnyWaitEnds);
      EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kCancelled)) << error.AsString();
      EXPECT_TRUE(priam.cancelled());
      if (wait.first == Wait::kTransfer || wait.first == Wait::kTransferToAStoppedJvm) {
        EXPECT_EQ(log->Count(" Priam Server not accepting requests yet. Sleeping "), 0)
            << "the cancel ended the first attempt's transfer";
      }
      if (wait.first == Wait::kLaunch) {
        EXPECT_FALSE(priam.priamStarted());
        EXPECT_TRUE(ZbCassandra::FindSidecars(confDir).empty());
        EXPECT_FALSE(RecordNamesASidecar());
      }
      const Clock::time_point later = Clock::now();
      EXPECT_TRUE(FXErrorUtil::IsWin32(priam.get(requestType::Get, "info", reply, ""),
                                       ZbCassandra::kCancelled));
      EXPECT_TRUE(FXErrorUtil::IsWin32(priam.startPriam(), ZbCassandra::kCancelled));
      EXPECT_LT(SecondsSince(later), 1.0);
      controller.reset();
      g_cancelledBySignal = nullptr;
      EXPECT_TRUE(ZbCassandra::FindSidecars(confDir).empty());
      ExpectNoSecretLeft();
    }
  }
  sigaction(SIGTERM, &previous, nullptr);
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
