// Ctrl-C and SIGTERM never leave a sidecar behind priamctl; one that SIGKILL
// left is stopped by the next run, and a second run beside a live one refuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "PriamctlFixture.h"
#include "ZbProcess.h"
#include "ZbProcessInfo.h"

namespace clitest {
namespace {

class Signals : public PriamctlFixture {
 protected:
  // A host killed by SIGKILL during its launch's wait, once the launch has
  // recorded its sidecar, after the guardian beside it (which would stop the
  // sidecar) was killed; returns that sidecar, left running. The host is
  // stopped first: running, it would put another guardian in the dead one's
  // place at once.
  pid_t KillAHostDuringItsLaunch(const std::string& password) {
    PriamctlProcess dead(NodeArgs("run", {"--request", "info", "--property-from-env",
                                          "priam.cqluserpassword=TEST_PASSWORD"}),
                         {{"TEST_PASSWORD", password}});
    pid_t orphan = 0;
    const std::string record = confDir + "/zbPriam.sidecar";
    EXPECT_TRUE(WaitUntil(
        [&] {
          const std::vector<pid_t> children = ChildrenOf(dead.pid(), kSidecarProgram);
          orphan = children.size() == 1 ? children.front() : 0;
          return orphan > 0 && ChildrenOf(dead.pid(), kGuardianProgram).size() == 1 &&
                 testsupport::PathExists(record) &&
                 testsupport::ReadFile(record).find("pid=" + std::to_string(orphan) + "\n") !=
                     std::string::npos;
        },
        30));
    kill(dead.pid(), SIGSTOP);
    EXPECT_TRUE(WaitUntil([&] { return testsupport::ProcessState(dead.pid()) == 'T'; }, 10));
    for (const pid_t guardian : ChildrenOf(dead.pid(), kGuardianProgram)) kill(guardian, SIGKILL);
    kill(dead.pid(), SIGKILL);
    EXPECT_EQ(dead.Wait(20).exitCode, 128 + SIGKILL);
    EXPECT_TRUE(SidecarRunsFor(confDir)) << "without its guardian, nothing stops the sidecar";
    return orphan;
  }
};

// The sidecar priamctl started, once it is there.
pid_t WaitForSidecar(const PriamctlProcess& priamctl) {
  pid_t sidecar = 0;
  WaitUntil(
      [&] {
        const std::vector<pid_t> children = ChildrenOf(priamctl.pid(), kSidecarProgram);
        sidecar = children.empty() ? 0 : children.front();
        return sidecar != 0;
      },
      30);
  return sidecar;
}

// SIGTERM ends a run within moments wherever it waits: the controller's
// blocking call is cancelled, the sidecar stopped. Far below the waits it
// interrupts: the 30-second wait (no shortened waits here), or a request
// to a sidecar that takes it and never answers (300 s per attempt).
TEST_F(Signals, TermStopsTheSidecarAtOnceDuringTheWaitOrWhileARequestHangs) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    std::function<bool()> waiting;
    bool infoAnswered;  // before the signal
  };
  const std::vector<Case> cases = {
      {"the launch's 30-second wait",
       {"--request", "info"},
       [this] { return SidecarRunsFor(confDir); },
       false},
      {"a request that hangs",
       {"--short-waits-for-tests", "--property", "standin.hang.operation=freeze", "--request",
        "info", "--request", "freeze"},
       [this] {
         const std::string log = logDir + "/zbPriam.log";
         return testsupport::PathExists(log) &&
                testsupport::ReadFile(log).find("freeze not answered") != std::string::npos;
       },
       true},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    std::vector<std::string> options = test.options;
    options.insert(options.end(), {"--property-from-env", "priam.cqluserpassword=TEST_PASSWORD"});
    PriamctlProcess priamctl(NodeArgs("run", options), {{"TEST_PASSWORD", "Pa55-interrupted"}});
    const pid_t sidecar = WaitForSidecar(priamctl);
    ASSERT_GT(sidecar, 0);
    ASSERT_TRUE(WaitUntil(test.waiting, 30)) << priamctl.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const auto signalled = std::chrono::steady_clock::now();
    kill(priamctl.pid(), SIGTERM);
    const Outcome outcome = priamctl.Wait(20);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(5));
    EXPECT_EQ(outcome.exitCode, 143) << outcome.err;
    EXPECT_NE(outcome.err.find("priamctl: stopped by signal 15; the sidecar is stopped\n"),
              std::string::npos)
        << outcome.err;
    EXPECT_FALSE(testsupport::ProcessExists(sidecar));
    EXPECT_FALSE(SidecarRunsFor(confDir));
    EXPECT_EQ(outcome.out.find("\"port\"") != std::string::npos, test.infoAnswered)
        << "no request after the signal: " << outcome.out;
    EXPECT_EQ(Properties().find("Pa55-interrupted"), std::string::npos)
        << "the interrupted launch still took the secret out";
  }
}

// Without --log-file, SIGHUP is a terminal's hang-up and ends the run like
// Ctrl-C. With one it is logrotate's: the file was moved away, the next
// lines go to a new one, owner-only like the first, and the run goes on; a
// new file that cannot be opened is warned of, the lines going on into the
// old one.
TEST_F(Signals, InterruptOrHangUpEndsKeepRunningUnlessHangUpReopensTheLogFile) {
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

  SCOPED_TRACE("SIGHUP with --log-file");
  const std::string log = root.file("run.log");
  PriamctlProcess priamctl(NodeArgs(
      "run", {"--keep-running", "--short-waits-for-tests", "--log-level", "1", "--log-file", log}));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return priamctl.Err().find(
                   "Keeping the sidecar running; Ctrl-C or SIGTERM stops it, "
                   "SIGHUP reopens the log file.") != std::string::npos;
      },
      60))
      << priamctl.Err();
  const pid_t sidecar = WaitForSidecar(priamctl);
  ASSERT_GT(sidecar, 0);
  const std::string reopened = "Reopened the log file " + log + " at SIGHUP";

  ASSERT_EQ(rename(log.c_str(), (log + ".1").c_str()), 0);
  kill(priamctl.pid(), SIGHUP);
  ASSERT_TRUE(WaitUntil(
      [&] {
        return testsupport::PathExists(log) &&
               testsupport::ReadFile(log).find(reopened) != std::string::npos;
      },
      30))
      << priamctl.Err();
  EXPECT_EQ(testsupport::FileMode(log), 0600);

  ASSERT_EQ(rename(log.c_str(), (log + ".2").c_str()), 0);
  ASSERT_EQ(mkdir(log.c_str(), 0700), 0);
  kill(priamctl.pid(), SIGHUP);
  const std::string warning = "priamctl: warning: at SIGHUP, --log-file " + log +
                              " is a directory, not a file; log lines go on into the file "
                              "opened before\n";
  ASSERT_TRUE(WaitUntil([&] { return priamctl.Err().find(warning) != std::string::npos; }, 30))
      << priamctl.Err();
  EXPECT_EQ(ChildrenOf(priamctl.pid(), kSidecarProgram), std::vector<pid_t>{sidecar})
      << "two hang-ups later, the same sidecar serves on";
  EXPECT_EQ(priamctl.Err().find("Sidecar stopped."), std::string::npos) << priamctl.Err();

  kill(priamctl.pid(), SIGTERM);
  const Outcome outcome = priamctl.Wait(20);
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_FALSE(testsupport::ProcessExists(sidecar));
  const std::string first = testsupport::ReadFile(log + ".1");
  const std::string second = testsupport::ReadFile(log + ".2");
  EXPECT_NE(first.find("startPriam"), std::string::npos) << "the launch, before the moves";
  EXPECT_EQ(first.find(reopened), std::string::npos);
  EXPECT_NE(second.find(reopened), std::string::npos) << second;
  EXPECT_NE(second.find("stopPriam"), std::string::npos) << "the stop, after both: " << second;
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
  EXPECT_NE(outcome.err.find("priamctl: the sidecar exited by itself (killed by signal 9 "
                             "(SIGKILL))\n"),
            std::string::npos)
      << outcome.err;
  EXPECT_FALSE(testsupport::ProcessExists(sidecar)) << "reaped, no zombie";
}

TEST_F(Signals, WhatAHostKilledBySigkillLeftIsShownAndStoppedByStopOrTheNextRun) {
  const std::vector<std::string> status = {"status", "--priam-conf-dir", confDir, "--json"};
  EXPECT_EQ(RunPriamctl(status).exitCode, 3) << "nothing has run here";

  // status tells of the orphan and its dead host; stop stops it and takes
  // the secrets it left.
  pid_t orphan = KillAHostDuringItsLaunch("Pa55-of-the-dead-host");
  ASSERT_NE(Properties().find("Pa55-of-the-dead-host"), std::string::npos);
  Outcome shown = RunPriamctl(status);
  EXPECT_EQ(shown.exitCode, 1) << "an orphan is no service that runs: " << shown.err;
  const nlohmann::json json = nlohmann::json::parse(shown.out, nullptr, false);
  EXPECT_EQ(json["sidecar"]["pid"], orphan) << shown.out;
  EXPECT_EQ(json["owner"]["alive"], false) << shown.out;
  EXPECT_TRUE(json["holder"].is_null()) << shown.out;
  const Outcome stopped = RunPriamctl({"stop", "--priam-conf-dir", confDir});
  EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
  EXPECT_EQ(stopped.out, "Stopped the sidecar (process " + std::to_string(orphan) +
                             ") that a host that died left running; the secrets it left in "
                             "zbPriam.properties are removed.\n");
  EXPECT_FALSE(SidecarRunsFor(confDir));
  EXPECT_EQ(Properties().find("Pa55-of-the-dead-host"), std::string::npos);
  EXPECT_EQ(RunPriamctl(status).exitCode, 3);
  const Outcome again = RunPriamctl({"stop", "--priam-conf-dir", confDir});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.out, "not running\n");

  // Or the next run stops it, and says so.
  orphan = KillAHostDuringItsLaunch("Pa55-of-the-dead-host");
  const Outcome next =
      RunPriamctl(NodeArgs("run", {"--request", "info", "--short-waits-for-tests",
                                   "--property-from-env", "priam.cqluserpassword=TEST_PASSWORD"}),
                  {{"TEST_PASSWORD", "Pa55-of-the-next-host"}});
  EXPECT_EQ(next.exitCode, 0) << next.err;
  EXPECT_EQ(next.err.rfind("priamctl: stopped the sidecar (process " + std::to_string(orphan) +
                               ") that a host that died had left running for " + confDir + "\n",
                           0),
            0u)
      << "said by default: " << next.err;
  EXPECT_NE(next.out.find("\"port\""), std::string::npos) << "the new sidecar answered";
  const char state = testsupport::ProcessState(orphan);
  EXPECT_TRUE(state == 0 || state == 'Z') << "the orphan is stopped";
  EXPECT_FALSE(SidecarRunsFor(confDir));
  const std::string properties = Properties();
  EXPECT_EQ(properties.find("Pa55-of-the-dead-host"), std::string::npos);
  EXPECT_EQ(properties.find("Pa55-of-the-next-host"), std::string::npos);

  // A record that cannot be read: the state cannot be told.
  ASSERT_EQ(mkdir((confDir + "/zbPriam.sidecar").c_str(), 0700), 0);
  shown = RunPriamctl(status);
  EXPECT_EQ(shown.exitCode, 4);
  EXPECT_EQ(shown.err.rfind("priamctl: cannot tell: ", 0), 0u) << shown.err;
}

// The first line of the table row `label` of priamctl status, without the
// label; empty when there is none.
std::string Row(const std::string& table, const std::string& label) {
  size_t at = 0;
  while (at < table.size()) {
    const size_t end = table.find('\n', at);
    const std::string line = table.substr(at, end - at);
    if (line.compare(0, label.size() + 1, label + " ") == 0) {
      return line.substr(line.find_first_not_of(' ', label.size()));
    }
    at = end == std::string::npos ? table.size() : end + 1;
  }
  return std::string();
}

// After each way a sidecar stops or ends, status tells what systemctl status
// would: the state and since when, the main process and its group, how the
// last one ended and who ended it (also once its host is gone), and the exit
// code that goes with it, in the table and in JSON alike.
TEST_F(Signals, StatusTellsTheStateHowTheLastSidecarEndedWhoEndedItAndWhen) {
  const std::vector<std::string> table = {"status", "--priam-conf-dir", confDir};
  const std::vector<std::string> json = {"status", "--priam-conf-dir", confDir, "--json"};
  std::unique_ptr<PriamctlProcess> host;
  pid_t sidecar = 0;
  const auto keepRunning = [&] {
    host.reset(new PriamctlProcess(NodeArgs("run", {"--keep-running", "--short-waits-for-tests"})));
    ASSERT_TRUE(WaitUntil(
        [&] { return host->Err().find("Keeping the sidecar running") != std::string::npos; }, 60))
        << host->Err();
    sidecar = WaitForSidecar(*host);
  };
  const auto hostEnds = [&](int exitCode, const std::string& says) {
    const Outcome ended = host->Wait(20);
    EXPECT_EQ(ended.exitCode, exitCode) << ended.err;
    EXPECT_NE(ended.err.find(says), std::string::npos) << ended.err;
  };
  struct Case {
    const char* what;
    std::function<void()> bringAbout;
    const char* activity;
    int exitCode;
    bool runs;               // a sidecar process is the main one
    bool since;              // when the state began is known
    const char* state;       // how the State row begins
    nlohmann::json endedBy;  // who ended the last one
    std::string lastEnd;     // in the Last end row
  };
  const std::vector<Case> cases = {
      {"it runs", keepRunning, "running", 0, true, true, "running since ", nullptr, ""},
      {"SIGSTOP",
       [&] {
         kill(sidecar, SIGSTOP);
         ASSERT_TRUE(WaitUntil([&] { return testsupport::ProcessState(sidecar) == 'T'; }, 10));
       },
       "stopped", 1, true, false, "stopped (SIGSTOP or a tracer)", nullptr, ""},
      {"a crash while its host lives and has not seen it",
       [&] {
         kill(sidecar, SIGCONT);
         kill(host->pid(), SIGSTOP);
         ASSERT_TRUE(WaitUntil([&] { return testsupport::ProcessState(host->pid()) == 'T'; }, 10));
         kill(sidecar, SIGKILL);
         ASSERT_TRUE(WaitUntil([&] { return testsupport::ProcessState(sidecar) == 'Z'; }, 10));
       },
       "failed", 1, false, false, "failed", nullptr,
       "killed by signal 9 (SIGKILL), not asked to stop; its host has not seen it end yet"},
      {"the same crash once its host has seen it and exited",
       [&] {
         kill(host->pid(), SIGCONT);
         hostEnds(1, "priamctl: the sidecar exited by itself (killed by signal 9 (SIGKILL))\n");
       },
       "failed", 1, false, true, "failed since ", nullptr,
       "killed by signal 9 (SIGKILL), not asked to stop, on "},
      {"its host's stop",
       [&] {
         keepRunning();
         kill(host->pid(), SIGTERM);
         hostEnds(0, "Sidecar stopped.");
       },
       "not-running", 3, false, true, "not running since ", "host",
       "killed by signal 9 (SIGKILL), stopped by its host, on "},
      {"priamctl stop --force",
       [&] {
         keepRunning();
         EXPECT_EQ(RunPriamctl({"stop", "--priam-conf-dir", confDir, "--force"}).exitCode, 0);
         hostEnds(1,
                  "priamctl: the sidecar ended: killed by signal 9 (SIGKILL), stopped by an "
                  "operator (priamctl stop --force)\n");
       },
       "not-running", 3, false, true, "not running since ", "operator-force",
       "killed by signal 9 (SIGKILL), stopped by an operator (priamctl stop --force), on "},
      {"its host killed, its guardian alive",
       [&] {
         keepRunning();
         kill(host->pid(), SIGKILL);
         hostEnds(128 + SIGKILL, "");
         ASSERT_TRUE(
             WaitUntil([&] { return !testsupport::PathExists(confDir + "/zbPriam.sidecar"); }, 10));
       },
       "not-running", 3, false, true, "not running since ", "guardian",
       "stopped by its guardian after its host (process "},
      {"a dead owner that left an orphan",
       [&] { sidecar = KillAHostDuringItsLaunch("Pa55-orphaned"); }, "orphaned", 1, true, false,
       "orphaned", "guardian", ""},
      {"that orphan stopped by priamctl stop, its secrets gone already",
       [&] {
         testsupport::WriteFile(confDir + "/zbPriam.properties", "priam.jmx.port=7199\n");
         const Outcome stopped = RunPriamctl({"stop", "--priam-conf-dir", confDir});
         EXPECT_EQ(stopped.out, "Stopped the sidecar (process " + std::to_string(sidecar) +
                                    ") that a host that died left running.\n");
       },
       "not-running", 3, false, true, "not running since ", "operator",
       "killed by signal 9 (SIGKILL), stopped by an operator (priamctl stop), on "},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    test.bringAbout();
    const Outcome shown = RunPriamctl(json);
    EXPECT_EQ(shown.exitCode, test.exitCode) << shown.out << shown.err;
    nlohmann::json status = nlohmann::json::parse(shown.out, nullptr, false);
    EXPECT_EQ(status["activity"], test.activity) << shown.out;
    EXPECT_EQ(status["exit_code"], test.exitCode);
    EXPECT_EQ(status["since"].is_number(), test.since) << shown.out;
    EXPECT_EQ(status["ended"]["by"], test.endedBy) << shown.out;
    if (test.runs) {
      EXPECT_EQ(status["main_pid"], sidecar) << shown.out;
      EXPECT_GT(status["tasks"].is_number() ? status["tasks"].get<int>() : 0, 1)
          << "a JVM's threads are tasks, as systemd counts them: " << shown.out;
      EXPECT_GT(status["memory_bytes"].is_number() ? status["memory_bytes"].get<double>() : 0, 0)
          << shown.out;
    } else {
      EXPECT_TRUE(status["main_pid"].is_null()) << shown.out;
      EXPECT_EQ(status["ended"]["exit"], "killed by signal 9 (SIGKILL)") << shown.out;
    }
    const Outcome text = RunPriamctl(table);
    EXPECT_EQ(text.exitCode, test.exitCode);
    EXPECT_EQ(Row(text.out, "State").rfind(test.state, 0), 0u) << text.out;
    EXPECT_NE(Row(text.out, "Last end").find(test.lastEnd), std::string::npos) << text.out;
    EXPECT_EQ(Row(text.out, "Main PID"), test.runs ? std::to_string(sidecar) : "") << text.out;
  }
}

TEST_F(Signals, AnotherRunOrDiscoverLeavesTheDirectoryOfARunningOneAlone) {
  PriamctlProcess first(NodeArgs("run", {"--keep-running", "--short-waits-for-tests"}));
  ASSERT_TRUE(WaitUntil(
      [&] { return first.Err().find("Keeping the sidecar running") != std::string::npos; }, 60))
      << first.Err();
  const pid_t sidecar = WaitForSidecar(first);
  ASSERT_GT(sidecar, 0);
  const std::string files = testsupport::DirectorySnapshot(confDir);
  const std::string holder = "priamctl: the Priam configuration directory " + confDir +
                             " belongs to another host (process " + std::to_string(first.pid()) +
                             ", whose sidecar is process " + std::to_string(sidecar) + ")";

  const Outcome second = RunPriamctl(NodeArgs("run", {"--request", "info", "--property-from-env",
                                                      "priam.cqluserpassword=TEST_PASSWORD"}),
                                     {{"TEST_PASSWORD", "Pa55-refused"}});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(second.err, holder + "; stop that process first, or give another --priam-conf-dir\n");
  EXPECT_EQ(second.out, "");

  const Outcome discover = RunPriamctl(NodeArgs("discover"));
  EXPECT_EQ(discover.exitCode, 0) << discover.err;
  EXPECT_NE(discover.out.find("9042"), std::string::npos) << "the node is still discovered";
  EXPECT_EQ(discover.err, holder + "; its files were left as they are\n");

  EXPECT_EQ(testsupport::DirectorySnapshot(confDir), files) << "byte for byte as they were";
  EXPECT_EQ(ChildrenOf(first.pid(), kSidecarProgram), std::vector<pid_t>{sidecar})
      << "the first run is undisturbed";

  // status names both processes and the port the run reported.
  const Outcome shown = RunPriamctl({"status", "--priam-conf-dir", confDir, "--json"});
  EXPECT_EQ(shown.exitCode, 0) << shown.err;
  const nlohmann::json json = nlohmann::json::parse(shown.out, nullptr, false);
  EXPECT_EQ(json["holder"], first.pid()) << shown.out;
  EXPECT_EQ(json["owner"]["alive"], true) << shown.out;
  EXPECT_EQ(json["sidecar"]["pid"], sidecar) << shown.out;
  EXPECT_NE(first.Err().find("Sidecar answering on port " + json["sidecar"]["port"].dump() +
                             " (pid " + std::to_string(sidecar) + ")"),
            std::string::npos)
      << shown.out << first.Err();
  EXPECT_EQ(json["answers_info"]["answered"], true) << shown.out;
  EXPECT_EQ(json["guardian"], ChildrenOf(first.pid(), kGuardianProgram).front()) << shown.out;

  // A guardian killed (the OOM killer): the operator learns that nothing
  // would end the sidecar with its host; the sidecar serves on.
  kill(ChildrenOf(first.pid(), kGuardianProgram).front(), SIGKILL);
  ASSERT_TRUE(WaitUntil([&] { return ChildrenOf(first.pid(), kGuardianProgram).empty(); }, 10));
  const Outcome unguarded = RunPriamctl({"status", "--priam-conf-dir", confDir});
  EXPECT_NE(unguarded.out.find("Guardian      none: if the owner dies, the sidecar and any secrets "
                               "on disk stay until priamctl stop is run\n"),
            std::string::npos)
      << unguarded.out;
  EXPECT_NE(unguarded.out.find("Answers info  yes"), std::string::npos) << unguarded.out;

  // An operator removes the lock file, taking it for a stale one: the owner
  // is still known by its record and its sidecar, and stays in charge.
  ASSERT_EQ(unlink((confDir + "/zbPriam.lock").c_str()), 0);
  const Outcome unlocked = RunPriamctl({"status", "--priam-conf-dir", confDir, "--json"});
  EXPECT_EQ(unlocked.exitCode, 0) << unlocked.err;
  const nlohmann::json still = nlohmann::json::parse(unlocked.out, nullptr, false);
  EXPECT_EQ(still["holder"], first.pid()) << unlocked.out;
  EXPECT_EQ(still["owner"]["alive"], true) << unlocked.out;
  EXPECT_EQ(still["orphans"], nlohmann::json::array()) << unlocked.out;

  // stop refuses a live host's sidecar, unless forced; the host sees it go.
  const Outcome refused = RunPriamctl({"stop", "--priam-conf-dir", confDir});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, "priamctl: the Priam configuration directory " + confDir +
                             " belongs to a live host (process " + std::to_string(first.pid()) +
                             "); stop that host, or give --force to stop its sidecar\n");
  EXPECT_EQ(ChildrenOf(first.pid(), kSidecarProgram), std::vector<pid_t>{sidecar});
  const Outcome forced = RunPriamctl({"stop", "--priam-conf-dir", confDir, "--force"});
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  const Outcome ended = first.Wait(20);
  EXPECT_EQ(ended.exitCode, 1);
  EXPECT_NE(ended.err.find("priamctl: the sidecar ended: killed by signal 9 (SIGKILL), stopped by "
                           "an operator (priamctl stop --force)\n"),
            std::string::npos)
      << ended.err;
}

TEST_F(Signals, StatusAndStopAnswerFromWhatRunsWhateverTheFilesSay) {
  const std::vector<std::string> status = {"status", "--priam-conf-dir", confDir, "--json"};
  const std::string record = confDir + "/zbPriam.sidecar";

  // A sidecar that no record names, left by a host killed before it wrote
  // one: found by what it runs.
  ZbProcess orphan;
  orphan.SetSilence(true);
  std::string error;
  ASSERT_TRUE(orphan.StartProcess(PRIAM_STANDIN_JAVA,
                                  std::string(PRIAM_STANDIN_JAVA) +
                                      " -Dzbpriam.config.file=" + confDir + " -cp " +
                                      PRIAM_STANDIN_JAR + " jerseyserve.server 0",
                                  &error, 0))
      << error;
  ASSERT_TRUE(WaitUntil([&] { return SidecarRunsFor(confDir); }, 10));
  Outcome shown = RunPriamctl(status);
  EXPECT_EQ(shown.exitCode, 1) << "an orphan is no service that runs: " << shown.err;
  nlohmann::json json = nlohmann::json::parse(shown.out, nullptr, false);
  EXPECT_EQ(json["orphans"], nlohmann::json::array({orphan.GetChildPid()})) << shown.out;
  EXPECT_TRUE(json["owner"].is_null()) << shown.out;
  shown = RunPriamctl({"status", "--priam-conf-dir", confDir});
  EXPECT_NE(shown.out.find("process " + std::to_string(orphan.GetChildPid()) + ", up "),
            std::string::npos)
      << shown.out;
  EXPECT_NE(shown.out.find(", an orphan (it names no host); priamctl stop stops it\n"),
            std::string::npos)
      << shown.out;
  // Secrets that cannot be removed are said so, with what was done.
  const std::string properties = confDir + "/zbPriam.properties";
  ASSERT_EQ(mkdir(properties.c_str(), 0700), 0);
  Outcome stopped = RunPriamctl({"stop", "--priam-conf-dir", confDir});
  EXPECT_EQ(stopped.exitCode, 1) << stopped.err;
  EXPECT_EQ(stopped.err.rfind("priamctl: stopped the sidecar (process " +
                                  std::to_string(orphan.GetChildPid()) +
                                  "), but the secrets left in zbPriam.properties could not be "
                                  "removed: ",
                              0),
            0u)
      << stopped.err;
  EXPECT_EQ(std::count(stopped.err.begin(), stopped.err.end(), '\n'), 1) << stopped.err;
  ASSERT_EQ(rmdir(properties.c_str()), 0);
  EXPECT_TRUE(orphan.ReapWithin(5000));
  EXPECT_FALSE(SidecarRunsFor(confDir));

  // A host that has ended but was not reaped yet is dead; the secrets it
  // left are named.
  const pid_t zombie = fork();
  if (zombie == 0) _exit(0);
  ASSERT_TRUE(WaitUntil([&] { return testsupport::ProcessState(zombie) == 'Z'; }, 10));
  uint64_t zombieStart = 0;
  ASSERT_TRUE(ZbProcessInfo::StartTime(zombie, &zombieStart));
  testsupport::WriteFile(record, "host=" + std::to_string(zombie) +
                                     "\nhoststart=" + std::to_string(zombieStart) +
                                     "\npid=0\nport=0\nstarttime=0\n");
  testsupport::WriteFile(confDir + "/zbPriam.properties", "priam.jmx.token=left-behind\n");
  shown = RunPriamctl(status);
  EXPECT_EQ(shown.exitCode, 1) << shown.out;
  json = nlohmann::json::parse(shown.out, nullptr, false);
  EXPECT_EQ(json["owner"]["alive"], false) << shown.out;
  EXPECT_EQ(json["secrets_left"], true) << shown.out;
  shown = RunPriamctl({"status", "--priam-conf-dir", confDir});
  EXPECT_NE(shown.out.find("Owner      process " + std::to_string(zombie) + ", dead\n"),
            std::string::npos)
      << shown.out;
  EXPECT_NE(shown.out.find("Warning    zbPriam.properties holds secrets while no launch runs"),
            std::string::npos)
      << shown.out;
  stopped = RunPriamctl({"stop", "--priam-conf-dir", confDir});
  EXPECT_EQ(stopped.out, "not running\n") << stopped.err;
  EXPECT_EQ(Properties().find("left-behind"), std::string::npos);
  waitpid(zombie, nullptr, 0);

  // A record that someone else wrote, naming a root-only file outside the
  // directory of another user: never read.
  const std::string elsewhere = root.file("elsewhere");
  mkdir(elsewhere.c_str(), 0700);
  testsupport::WriteFile(elsewhere + "/zbPriam.out", "TOP-SECRET line\n", 0600);
  testsupport::WriteFile(record, "host=2147483600\noutput=" + elsewhere +
                                     "/zbPriam.out\npid=0\nport=0\nstarttime=0\n");
  ASSERT_EQ(chown(confDir.c_str(), 65534, 65534), 0);
  shown = RunPriamctl({"status", "--priam-conf-dir", confDir});
  EXPECT_EQ(shown.out.find("TOP-SECRET"), std::string::npos) << shown.out;
  EXPECT_TRUE(nlohmann::json::parse(RunPriamctl(status).out, nullptr, false)["output"].is_null());
  ASSERT_EQ(chown(confDir.c_str(), 0, 0), 0);

  // A record far too large to be ours is refused unread, at once; the next
  // host replaces it.
  ASSERT_EQ(truncate(record.c_str(), 2LL << 30), 0);
  shown = RunPriamctl(status);
  EXPECT_EQ(shown.exitCode, 4);
  EXPECT_EQ(shown.err,
            "priamctl: cannot tell: Cannot read " + record + ": larger than 64 KiB; not read\n");
  const Outcome discovered = RunPriamctl(NodeArgs("discover"));
  EXPECT_EQ(discovered.exitCode, 0) << discovered.err;
  EXPECT_FALSE(testsupport::PathExists(record)) << "replaced, then removed with the claim";
}

// A container has a pid namespace of its own: a host there calls itself
// process 1, which outside is another process. Each side judges the other
// by what it can see of it, and by the lock where it sees nothing.
TEST_F(Signals, AHostInAnotherPidNamespaceIsAliveSeenFromEitherSideAndKeepsItsSidecar) {
  const std::vector<std::string> newNamespace = {"unshare", "--pid", "--fork", "--mount-proc",
                                                 "--kill-child"};
  if (system("unshare --pid --fork --mount-proc true >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "this machine refuses a new pid namespace";
  }
  const std::vector<std::string> statusJson = {"status", "--priam-conf-dir", confDir, "--json"};
  const std::vector<std::string> status = {"status", "--priam-conf-dir", confDir};
  const std::vector<std::string> stop = {"stop", "--priam-conf-dir", confDir};
  const auto keepRunning = [&](const std::vector<std::string>& launcher) {
    std::unique_ptr<PriamctlProcess> run(new PriamctlProcess(
        NodeArgs("run", {"--keep-running", "--short-waits-for-tests"}), {}, launcher));
    EXPECT_TRUE(WaitUntil(
        [&] { return run->Err().find("Keeping the sidecar running") != std::string::npos; }, 60))
        << run->Err();
    return run;
  };
  const auto parse = [](const Outcome& shown) {
    return nlohmann::json::parse(shown.out, nullptr, false);
  };

  {
    SCOPED_TRACE("the host in a namespace of its own, the operator outside");
    const std::unique_ptr<PriamctlProcess> inside = keepRunning(newNamespace);
    const std::vector<pid_t> hosts = ChildrenOf(inside->pid(), "priamctl");
    ASSERT_EQ(hosts.size(), 1u);
    const pid_t host = hosts.front();
    const std::vector<pid_t> sidecars = ChildrenOf(host, kSidecarProgram);
    ASSERT_EQ(sidecars.size(), 1u);

    const Outcome refused = RunPriamctl(stop);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "priamctl: the Priam configuration directory " + confDir +
                               " belongs to a live host (process " + std::to_string(host) +
                               ", known as process 1 in its own pid namespace); stop that host, "
                               "or give --force to stop its sidecar\n");
    EXPECT_EQ(ChildrenOf(host, kSidecarProgram), sidecars);
    const Outcome discover = RunPriamctl(NodeArgs("discover"));
    EXPECT_EQ(discover.err, "priamctl: the Priam configuration directory " + confDir +
                                " belongs to another host (process " + std::to_string(host) +
                                ", known as process 1 in its own pid namespace, whose sidecar is "
                                "process " +
                                std::to_string(sidecars.front()) +
                                "); its files were left as they are\n");

    Outcome shown = RunPriamctl(statusJson);
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    const nlohmann::json owner = parse(shown)["owner"];
    EXPECT_EQ(owner, nlohmann::json(
                         {{"pid", host},
                          {"alive", true},
                          {"pid_namespace", {{"other", true}, {"pid_there", 1}, {"seen", true}}}}))
        << shown.out;
    EXPECT_EQ(parse(shown)["sidecar"]["pid"], sidecars.front()) << shown.out;
    EXPECT_EQ(parse(shown)["answers_info"]["answered"], true) << shown.out;
    shown = RunPriamctl(status);
    EXPECT_NE(shown.out.find("process " + std::to_string(host) +
                             ", alive (in another pid namespace, where it is process 1)\n"),
              std::string::npos)
        << shown.out;
    // Inside, the host is process 1 of the status's own namespace.
    shown =
        RunPriamctl(status, {}, {"nsenter", "--target", std::to_string(host), "--pid", "--mount"});
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_NE(shown.out.find("process 1, alive\n"), std::string::npos) << shown.out;
  }

  {
    SCOPED_TRACE("the host outside, the operator in a namespace of its own");
    const std::unique_ptr<PriamctlProcess> outside = keepRunning({});
    const pid_t sidecar = WaitForSidecar(*outside);
    ASSERT_GT(sidecar, 0);

    const Outcome refused = RunPriamctl(stop, {}, newNamespace);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "priamctl: the Priam configuration directory " + confDir +
                               " belongs to a live host (process " +
                               std::to_string(outside->pid()) +
                               " in another pid namespace, which cannot be seen from here); stop "
                               "that host, or give --force to stop its sidecar\n");
    EXPECT_EQ(ChildrenOf(outside->pid(), kSidecarProgram), std::vector<pid_t>{sidecar});
    const Outcome discover = RunPriamctl(NodeArgs("discover"), {}, newNamespace);
    EXPECT_EQ(discover.err, "priamctl: the Priam configuration directory " + confDir +
                                " belongs to another host (process " +
                                std::to_string(outside->pid()) +
                                " in another pid namespace, which cannot be seen from here); its "
                                "files were left as they are\n");

    Outcome shown = RunPriamctl(statusJson, {}, newNamespace);
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(parse(shown)["owner"],
              nlohmann::json({{"pid", outside->pid()},
                              {"alive", true},
                              {"pid_namespace",
                               {{"other", true}, {"pid_there", outside->pid()}, {"seen", false}}}}))
        << shown.out;
    EXPECT_EQ(parse(shown)["sidecar"]["pid"], sidecar) << shown.out;
    shown = RunPriamctl(status, {}, newNamespace);
    EXPECT_NE(
        shown.out.find("process " + std::to_string(outside->pid()) +
                       ", alive (in another pid namespace, which cannot be seen from here)\n"),
        std::string::npos)
        << shown.out;
  }
}

// Whichever wins, its sidecar reads what the winner wrote and nothing of the
// loser's: the loser writes nothing into the directory.
TEST_F(Signals, OfTwoRunsStartedTogetherTheWinnersSidecarServesTheWinnersValues) {
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<std::unique_ptr<PriamctlProcess>> runs;
    for (const std::string port : {"1111", "2222"}) {
      runs.emplace_back(new PriamctlProcess(
          NodeArgs("run", {"--request", "info", "--short-waits-for-tests", "--property",
                           "priam.cqlport=" + port, "--property-from-env",
                           "priam.cqluserpassword=TEST_PASSWORD"}),
          {{"TEST_PASSWORD", "Pa55-" + port}}));
    }
    const pid_t pids[2] = {runs[0]->pid(), runs[1]->pid()};
    const Outcome outcomes[2] = {runs[0]->Wait(60), runs[1]->Wait(60)};
    const int winner = outcomes[0].exitCode == 0 ? 0 : 1;
    const Outcome& won = outcomes[winner];
    const Outcome& lost = outcomes[1 - winner];
    ASSERT_EQ(won.exitCode, 0) << won.err;
    const nlohmann::json info = nlohmann::json::parse(won.out, nullptr, false);
    EXPECT_EQ(info["settings"]["priam.cqlport"], winner == 0 ? "1111" : "2222") << won.out;
    EXPECT_EQ(info["secrets_present"]["priam.cqluserpassword"], true) << won.out;
    EXPECT_EQ(lost.exitCode, 1) << lost.err;
    EXPECT_EQ(
        lost.err.rfind("priamctl: the Priam configuration directory " + confDir +
                           " belongs to another host (process " + std::to_string(pids[winner]),
                       0),
        0u)
        << lost.err;
    EXPECT_EQ(std::count(lost.err.begin(), lost.err.end(), '\n'), 1) << lost.err;
    EXPECT_EQ(Properties().find("Pa55-"), std::string::npos);
  }
}

}  // namespace
}  // namespace clitest
