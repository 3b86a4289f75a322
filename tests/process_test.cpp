#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CapturingLogWriter.h"
#include "FXString.h"
#include "ScopedCancel.h"
#include "TempDir.h"
#include "ZbProcess.h"

extern char** environ;

namespace {

using testsupport::PathExists;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

std::set<std::string> Names(const std::string& directory) {
  std::set<std::string> names;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  closedir(dir);
  return names;
}

size_t OpenDescriptors() { return Names("/proc/self/fd").size(); }

// The state letter of a process ('R', 'S', 'Z', ...), or 0 when it is gone.
char ProcessState(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return 0;
  const size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : 0;
}

// Wait (without a time bound of its own: ctest bounds the test) until the
// process has ended, reaped or not.
void WaitUntilEnded(pid_t pid) {
  while (ProcessState(pid) != 0 && ProcessState(pid) != 'Z') usleep(10 * 1000);
}

// A field of /proc/PID/status, such as "SigBlk".
std::string StatusField(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) {
      std::string value = line.substr(field.size() + 1);
      FXString::Trim(value, " \t");
      return value;
    }
  }
  return "";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Wait, as a watcher does, until the child has exited (ctest bounds the
// test).
void WaitForExit(const ZbProcess& process) {
  ASSERT_GE(process.ExitDescriptor(), 0);
  struct pollfd exited = {process.ExitDescriptor(), POLLIN, 0};
  while (poll(&exited, 1, -1) < 0 && errno == EINTR) {
  }
}

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

// A descriptor without close-on-exec at a high number, as a careless host
// might leave one.
class InheritableDescriptor {
 public:
  static constexpr int kNumber = 47;
  InheritableDescriptor() {
    const int fd = open("/dev/null", O_RDONLY);
    dup2(fd, kNumber);
    close(fd);
  }
  ~InheritableDescriptor() { close(kNumber); }
};

// --- ZbProcess::system ------------------------------------------------------

TEST(ProcessSystem, CapturesBothStreamsApartAndReturnsTheExitStatus) {
  std::string output;
  std::string error;
  EXPECT_EQ(
      ZbProcess::system("echo out; echo err >&2; echo more; exit 3", &output, &error, 0, true), 3);
  EXPECT_EQ(output, "out\nmore\n");
  EXPECT_EQ(error, "err\n");

  EXPECT_EQ(ZbProcess::system("ps -ef | grep -v grep | awk '{print $1}' | head -1 >/dev/null",
                              &output, &error, 0, true),
            0);
  EXPECT_EQ(output, "");
  EXPECT_EQ(error, "");
  EXPECT_EQ(ZbProcess::system("false", &output, &error, 0, true), 1);
  EXPECT_EQ(ZbProcess::system("true", nullptr, nullptr, 0, true), 0);
}

TEST(ProcessSystem, ResultsReplaceWhatTheStringsHeldBefore) {
  std::string output = "stale";
  std::string error = "stale";
  EXPECT_EQ(ZbProcess::system("printf 9042", &output, &error, 0, true), 0);
  EXPECT_EQ(output, "9042");
  EXPECT_EQ(error, "");
}

TEST(ProcessSystem, ACommandKilledByASignalIsAFailure) {
  std::string error;
  EXPECT_EQ(ZbProcess::system("kill -9 $$", nullptr, &error, 0, true), 128 + SIGKILL);
}

TEST(ProcessSystem, MegabytesOnBothStreamsDoNotStall) {
  std::string output;
  std::string error;
  const int status = ZbProcess::system(
      "head -c 6000000 /dev/zero | tr '\\0' o & head -c 6000000 /dev/zero | tr '\\0' e >&2; wait",
      &output, &error, 60, true);
  EXPECT_EQ(status, 0) << error.substr(0, 200);
  EXPECT_EQ(output.size(), 6000000u);
  EXPECT_EQ(error.size(), 6000000u);
  EXPECT_EQ(output.find_first_not_of('o'), std::string::npos);
  EXPECT_EQ(error.find_first_not_of('e'), std::string::npos);
}

TEST(ProcessSystem, WithoutAShellNoCharacterIsSpecial) {
  TempDir dir;
  const std::string marker = dir.file("marker");
  std::string output;
  std::string error;
  const std::string command =
      "echo  a;touch " + marker + " $HOME `touch " + marker + "` $(touch " + marker + ") |cat";
  EXPECT_EQ(ZbProcess::system(command, &output, &error, 0, false), 0) << error;
  EXPECT_EQ(output,
            "a;touch " + marker + " $HOME `touch " + marker + "` $(touch " + marker + ") |cat\n");
  EXPECT_FALSE(PathExists(marker));

  // The same line under the shell does run the second command.
  EXPECT_EQ(ZbProcess::system("echo a;touch " + marker, &output, &error, 0, true), 0);
  EXPECT_TRUE(PathExists(marker));
}

TEST(ProcessSystem, AProgramThatCannotRunFailsWithAReason) {
  std::string output;
  std::string error;
  EXPECT_NE(ZbProcess::system("no-such-program-anywhere --version", &output, &error, 0, false), 0);
  EXPECT_NE(error.find("no-such-program-anywhere"), std::string::npos) << error;

  error.clear();
  EXPECT_EQ(ZbProcess::system("no-such-program-anywhere", &output, &error, 0, true), 127);
  EXPECT_NE(error.find("not found"), std::string::npos) << error;

  for (const std::string& blank : {std::string(), std::string("   ")}) {
    error.clear();
    EXPECT_NE(ZbProcess::system(blank, &output, &error, 0, false), 0);
    EXPECT_FALSE(error.empty());
  }
}

TEST(ProcessSystem, TheCommandReadsNothingFromTheHostsInput) {
  std::string output;
  EXPECT_EQ(ZbProcess::system("cat", &output, nullptr, 0, true), 0);
  EXPECT_EQ(output, "");
}

// A time-out, or a cancel of the calling thread (as a controller's cancel()
// makes), ends the command however it waits: its output still open, or
// closed while it runs on.
TEST(ProcessSystem, ATimeOutOrACancelKillsTheWholePipeline) {
  struct Case {
    const char* what;
    int timeoutSeconds;
    int cancelAfterMs;  // -1: no cancel
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"a time-out", 1, -1, "command timed out after 1 s"},
      {"a cancel", 0, 300, "command cancelled"},
  };
  for (const Case& test : cases) {
    for (const char* closeOutput : {"", "exec >&- 2>&-; "}) {
      SCOPED_TRACE(std::string(test.what) + (*closeOutput ? ", output closed" : ""));
      TempDir dir;
      const std::string pids = dir.file("pids");
      std::string output;
      std::string error;
      // Two stages that would run for ever, plus a background child that
      // keeps the output pipe open after the shell itself is gone.
      const std::string command = "echo started; " + std::string(closeOutput) +
                                  "sleep 1000 & echo $! > " + pids + "; sh -c 'echo $$ >> " + pids +
                                  "; exec sleep 1000' | sleep 1000";
      testsupport::ScopedCancel cancel;
      if (test.cancelAfterMs >= 0) cancel.CancelAfter(test.cancelAfterMs);
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(ZbProcess::system(command, &output, &error, test.timeoutSeconds, true), -1);
      EXPECT_LT(ElapsedMs(start), 10000) << "not the default time-out of 120 s";
      EXPECT_EQ(output, "started\n");
      EXPECT_EQ(error, test.reason);

      const std::vector<std::string> children = Lines(ReadFile(pids));
      ASSERT_EQ(children.size(), 2u);
      for (const std::string& child : children) {
        const pid_t pid = std::stoi(child);
        WaitUntilEnded(pid);
        const char state = ProcessState(pid);
        EXPECT_TRUE(state == 0 || state == 'Z') << "pid " << pid << " state " << state;
      }
      errno = 0;
      EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the command was reaped";
    }
  }

  // Once the thread is cancelled, no command starts.
  TempDir dir;
  testsupport::ScopedCancel cancel;
  cancel.Cancel();
  std::string error;
  EXPECT_EQ(ZbProcess::system("touch " + dir.file("ran"), nullptr, &error, 0, true), -1);
  EXPECT_EQ(error, "command cancelled");
  EXPECT_FALSE(PathExists(dir.file("ran")));
}

// Closing its output is not the end of a command: its exit status is still
// waited for, within the time-out.
TEST(ProcessSystem, ACommandThatClosesItsOutputEarlyIsStillWaitedFor) {
  std::string output;
  std::string error;
  EXPECT_EQ(
      ZbProcess::system("echo early; exec >&- 2>&-; sleep 0.3; exit 5", &output, &error, 0, true),
      5)
      << error;
  EXPECT_EQ(output, "early\n");
  EXPECT_EQ(ZbProcess::system("exec >&- 2>&-; exec sleep 100", &output, &error, 1, true), -1);
  EXPECT_NE(error.find("timed out"), std::string::npos) << error;
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the timed-out command was reaped";
}

TEST(ProcessSystem, LeavesNoDescriptorAndNoChildBehind) {
  InheritableDescriptor inheritable;
  const size_t before = OpenDescriptors();
  std::string output;
  std::string error;
  // ls lists its own directory descriptor (3) besides 0-2.
  EXPECT_EQ(ZbProcess::system("ls /proc/self/fd", &output, &error, 0, false), 0) << error;
  EXPECT_EQ(Lines(output), (std::vector<std::string>{"0", "1", "2", "3"}));
  for (int i = 0; i < 20; ++i) {
    ZbProcess::system("echo x; echo y >&2", &output, &error, 0, true);
    ZbProcess::system("no-such-program-anywhere", &output, &error, 0, false);
    ZbProcess::system("exit 4", &output, &error, 0, true);
  }
  ZbProcess::system("sleep 100", &output, &error, 1, true);
  EXPECT_EQ(OpenDescriptors(), before);
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

// Hosts whose children are reaped before we can collect them: the kernel
// does it for one that ignores SIGCHLD, and many daemons do it in a SIGCHLD
// handler. Each runs in a forked child of the test, so that the test's own
// signal dispositions stay as they are.
void ReapEveryChild(int) {
  const int saved = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}

struct ReapingHost {
  const char* name;
  void (*install)();
  bool everyStatusLost;  // the handler may lose the race to our own wait
};

const ReapingHost kReapingHosts[] = {
    {"ignores SIGCHLD", [] { signal(SIGCHLD, SIG_IGN); }, true},
    {"reaps in a SIGCHLD handler",
     [] {
       struct sigaction action = {};
       action.sa_handler = ReapEveryChild;  // no SA_RESTART: calls see EINTR
       sigaction(SIGCHLD, &action, nullptr);
     },
     false},
};

// Run `checks` in a forked child set up as `host`; its failed expectations
// come back through its exit code (their text is printed by the child).
void InHost(const ReapingHost& host, const std::function<void()>& checks) {
  fflush(stdout);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    host.install();
    checks();
    fflush(stdout);
    _exit(testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "in a host that " << host.name;
}

TEST(ProcessSystem, UnderAReapingHostACommandIsJudgedByItsOutput) {
  for (const ReapingHost& host : kReapingHosts) {
    InHost(host, [&host] {
      testsupport::ScopedLogCapture log(0);
      std::string output;
      std::string error;
      EXPECT_EQ(ZbProcess::system("echo 8085", &output, &error, 0, true), 0) << error;
      EXPECT_EQ(output, "8085\n");
      // The note is the library's, not the command's: a caller that counts
      // error output as failure must not see it.
      EXPECT_EQ(error, "");
      if (host.everyStatusLost) {
        EXPECT_EQ(log->Texts(0),
                  std::vector<std::string>{"The exit status of \"echo 8085\" was lost (reaped "
                                           "elsewhere); judged by its output"});
        EXPECT_EQ(ZbProcess::system("exit 3", &output, &error, 0, true), 0);
      }
      EXPECT_EQ(ZbProcess::system("true", &output, nullptr, 0, true), 0);
      EXPECT_EQ(output, "");
      // Failing to run or finish is still a failure.
      EXPECT_EQ(ZbProcess::system("no-such-program-anywhere", &output, &error, 0, false), -1);
      EXPECT_EQ(ZbProcess::system("sleep 100", &output, &error, 1, true), -1);
      EXPECT_NE(error.find("timed out"), std::string::npos) << error;
    });
  }
}

// --- ZbProcess::StartProcess ------------------------------------------------

// A script that writes each of its arguments on a line of `out`.
std::string ArgumentRecorder(const TempDir& dir, const std::string& out) {
  const std::string script = dir.file("record-arguments");
  WriteFile(script, "#!/bin/sh\nfor word in \"$@\"; do echo \"[$word]\"; done > '" + out + "'\n",
            0755);
  return script;
}

TEST(ProcessStart, SplitsTheArgumentsAtBlanksWithoutAShell) {
  TempDir dir;
  const std::string out = dir.file("arguments");
  const std::string script = ArgumentRecorder(dir, out);
  ZbProcess process;
  process.SetSilence(true);
  std::string error;
  ASSERT_TRUE(process.StartProcess(
      script, script + "  -Dzbpriam.config.file=/opt/p   -cp /x;rm $HOME `id` 8080 ", &error, 0))
      << error;
  EXPECT_GT(process.GetChildPid(), 0);
  ASSERT_TRUE(process.Reap(true));
  EXPECT_TRUE(WIFEXITED(process.ExitStatus()));
  EXPECT_EQ(Lines(ReadFile(out)),
            (std::vector<std::string>{"[-Dzbpriam.config.file=/opt/p]", "[-cp]", "[/x;rm]",
                                      "[$HOME]", "[`id`]", "[8080]"}));
}

TEST(ProcessStart, EmptyArgumentsRunTheProgramAlone) {
  TempDir dir;
  const std::string out = dir.file("arguments");
  const std::string script = ArgumentRecorder(dir, out);
  ZbProcess process;
  process.SetSilence(true);
  std::string error;
  ASSERT_TRUE(process.StartProcess(script, "   ", &error, 0)) << error;
  ASSERT_TRUE(process.Reap(true));
  EXPECT_EQ(ReadFile(out), "");
}

TEST(ProcessStart, ASilentChildGetsDevNull) {
  TempDir dir;
  const std::string out = dir.file("stdio");
  const std::string script = dir.file("stdio-of-self");
  WriteFile(script,
            "#!/bin/sh\nfds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
            "echo \"$fds\" > '" +
                out + "'\n",
            0755);
  ZbProcess process;
  process.SetSilence(true);
  std::string error;
  ASSERT_TRUE(process.StartProcess(script, script, &error, 0)) << error;
  ASSERT_TRUE(process.Reap(true));
  EXPECT_EQ(ReadFile(out), "/dev/null\n/dev/null\n/dev/null\n");
}

// Also when the output file got descriptor 0 (a host that closed its
// standard input), which the child's /dev/null must not replace.
TEST(ProcessStart, AnOutputDescriptorTakesBothStreamsAndTheChildGetsNothingElse) {
  TempDir dir;
  const std::string script = dir.file("report");
  WriteFile(script,
            "#!/bin/sh\necho out\necho err >&2\nreadlink /proc/self/fd/0\n"
            "exec ls /proc/self/fd\n",
            0755);
  InheritableDescriptor inheritable;
  for (const bool atZero : {false, true}) {
    const std::string file = dir.file(atZero ? "at-zero.out" : "out");
    const int savedIn = dup(0);  // -1 when the test runs without one
    if (atZero) close(0);
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ZbProcess process;
    process.SetSilence(true);  // the output descriptor wins
    process.SetOutputDescriptor(fd);
    std::string error;
    const bool started = process.StartProcess(script, script, &error, 0);
    close(fd);
    if (savedIn >= 0) {
      dup2(savedIn, 0);
      close(savedIn);
    }
    if (atZero) {
      EXPECT_EQ(fd, 0);
    }
    ASSERT_TRUE(started) << error;
    ASSERT_TRUE(process.Reap(true));
    // ls lists its own directory descriptor (3) besides 0-2.
    EXPECT_EQ(Lines(ReadFile(file)),
              (std::vector<std::string>{"out", "err", "/dev/null", "0", "1", "2", "3"}))
        << file;
  }
}

TEST(ProcessStart, TheChildInheritsNoDescriptorBeyondTheStandardOnes) {
  TempDir dir;
  const std::string listing = dir.file("listing");
  InheritableDescriptor inheritable;
  // A child that is not silent writes to our standard output: point it at a
  // file for the time of the test.
  fflush(stdout);
  const int savedOut = dup(1);
  const int file = open(listing.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(file, 0);
  dup2(file, 1);
  close(file);
  ZbProcess process;
  std::string error;
  const bool started = process.StartProcess("ls", "ls /proc/self/fd", &error, 0);
  const bool reaped = started && process.Reap(true);
  dup2(savedOut, 1);
  close(savedOut);
  ASSERT_TRUE(started) << error;
  ASSERT_TRUE(reaped);
  // ls lists its own directory descriptor (3) besides 0-2.
  EXPECT_EQ(Lines(ReadFile(listing)), (std::vector<std::string>{"0", "1", "2", "3"}));
}

TEST(ProcessStart, TheChildStartsWithCleanSignals) {
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigprocmask(SIG_BLOCK, &blocked, nullptr);
  signal(SIGINT, SIG_IGN);
  ZbProcess process;
  process.SetSilence(true);
  std::string error;
  ASSERT_TRUE(process.StartProcess("/bin/sleep", "sleep 1000", &error, 0)) << error;
  const pid_t pid = process.GetChildPid();
  // The spawn has completed once the child runs sleep.
  while (StatusField(pid, "Name") != "sleep") usleep(10 * 1000);
  EXPECT_EQ(StatusField(pid, "SigBlk"), "0000000000000000");
  // Only the standard signals: the C library keeps its own real-time
  // signals (32, 33) away from a freshly spawned child.
  EXPECT_EQ(std::stoull(StatusField(pid, "SigIgn"), nullptr, 16) & 0x7FFFFFFFull, 0u);
  kill(pid, SIGKILL);
  EXPECT_TRUE(process.Reap(true));
}

TEST(ProcessStart, AProgramThatCannotStartGivesFalseAndAReason) {
  TempDir dir;
  const std::string notExecutable = dir.write("data.txt", "just text\n");
  chmod(notExecutable.c_str(), 0644);
  const size_t before = OpenDescriptors();
  for (const std::string& program :
       {dir.file("missing"), dir.path(), notExecutable, std::string("no-such-program-anywhere")}) {
    ZbProcess process;
    std::string error;
    EXPECT_FALSE(process.StartProcess(program, "x --flag", &error, 0)) << program;
    EXPECT_NE(error.find(program), std::string::npos) << error;
    EXPECT_EQ(process.GetChildPid(), 0);
  }
  EXPECT_EQ(OpenDescriptors(), before);
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no failed child left unreaped
  EXPECT_EQ(errno, ECHILD);
}

TEST(ProcessStart, KillAndReapLeaveNoZombie) {
  ZbProcess process;
  process.SetSilence(true);
  std::string error;
  ASSERT_TRUE(process.StartProcess("sleep", "sleep 1000", &error, 0)) << error;
  const pid_t pid = process.GetChildPid();
  ASSERT_GT(pid, 0);
  EXPECT_NE(ProcessState(pid), 0);

  EXPECT_FALSE(process.Reap(false));  // still running
  EXPECT_EQ(process.GetChildPid(), pid);
  EXPECT_FALSE(process.StartProcess("sleep", "sleep 1000", &error, 0));
  EXPECT_NE(error.find(std::to_string(pid)), std::string::npos) << error;
  EXPECT_EQ(process.GetChildPid(), pid);

  ASSERT_EQ(kill(pid, SIGKILL), 0);
  EXPECT_TRUE(process.Reap(true));
  EXPECT_EQ(process.GetChildPid(), 0);
  EXPECT_TRUE(WIFSIGNALED(process.ExitStatus()));
  EXPECT_EQ(WTERMSIG(process.ExitStatus()), SIGKILL);
  EXPECT_FALSE(PathExists("/proc/" + std::to_string(pid)));
  EXPECT_TRUE(process.Reap(false));  // nothing left to reap

  // The object can start a new child once the old one is reaped.
  error.clear();
  ASSERT_TRUE(process.StartProcess("sleep", "sleep 1000", &error, 0)) << error;
  const pid_t second = process.GetChildPid();
  kill(second, SIGKILL);
  EXPECT_TRUE(process.Reap(true));
}

TEST(ProcessStart, AChildThatHasExitedIsReapedByTheNextStartOrTheDestructor) {
  pid_t first = 0;
  {
    ZbProcess process;
    process.SetSilence(true);
    std::string error;
    ASSERT_TRUE(process.StartProcess("true", "true", &error, 0)) << error;
    first = process.GetChildPid();
    WaitUntilEnded(first);
    EXPECT_EQ(ProcessState(first), 'Z');
    ASSERT_TRUE(process.StartProcess("true", "true", &error, 0)) << error;
    EXPECT_FALSE(PathExists("/proc/" + std::to_string(first)));
    first = process.GetChildPid();
    WaitUntilEnded(first);
  }
  EXPECT_FALSE(PathExists("/proc/" + std::to_string(first)));
}

// --- Watching the child -------------------------------------------------------

TEST(ProcessWatch, SeesHowTheChildEndedWithoutReapingIt) {
  TempDir dir;
  const std::string exitWith = dir.file("exit-with");
  WriteFile(exitWith, "#!/bin/sh\nexit \"$1\"\n", 0755);
  ZbProcess process;
  process.SetSilence(true);
  int status = -1;
  bool known = false;
  EXPECT_FALSE(process.HasExited(&status, &known));  // none started
  EXPECT_EQ(process.ExitDescriptor(), -1);
  EXPECT_EQ(process.Signal(SIGKILL), ESRCH);

  std::string error;
  ASSERT_TRUE(process.StartProcess("sleep", "sleep 1000", &error, 0)) << error;
  const pid_t pid = process.GetChildPid();
  EXPECT_FALSE(process.HasExited(&status, &known));
  EXPECT_EQ(process.Signal(0), 0);
  EXPECT_EQ(process.Signal(SIGKILL), 0);
  WaitForExit(process);
  ASSERT_TRUE(process.HasExited(&status, &known));
  EXPECT_TRUE(known);
  EXPECT_EQ(ZbProcess::DescribeExit(status, known), "killed by signal 9 (SIGKILL)");
  EXPECT_EQ(ProcessState(pid), 'Z');  // seen, not reaped
  EXPECT_EQ(process.Signal(SIGTERM), ESRCH);
  ASSERT_TRUE(process.Reap(true));
  EXPECT_TRUE(process.ExitStatusKnown());
  EXPECT_EQ(process.ExitStatus(), status);
  status = -1;
  EXPECT_TRUE(process.HasExited(&status, &known));  // still, with what Reap collected
  EXPECT_EQ(status, process.ExitStatus());
  EXPECT_EQ(process.Signal(SIGKILL), ESRCH);

  ASSERT_TRUE(process.StartProcess(exitWith, exitWith + " 3", &error, 0)) << error;
  WaitForExit(process);
  EXPECT_TRUE(process.HasExited(nullptr, nullptr));
  ASSERT_TRUE(process.HasExited(&status, &known));
  EXPECT_EQ(ZbProcess::DescribeExit(status, known), "exit status 3");
  ASSERT_TRUE(process.Reap(false));
  EXPECT_EQ(process.ExitStatus(), status);

  EXPECT_EQ(ZbProcess::DescribeExit(40, true), "killed by signal 40");  // no name
}

// A child of the test that the system gave `pid`, or -1 when it could not be
// made to (writing ns_last_pid takes privileges; other processes fork too).
// posix_spawn copies no memory, which keeps the race with them short.
pid_t SpawnWithPid(pid_t pid) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int last = open("/proc/sys/kernel/ns_last_pid", O_WRONLY | O_CLOEXEC);
    const std::string previous = std::to_string(pid - 1);
    const bool set = last >= 0 && write(last, previous.data(), previous.size()) ==
                                      static_cast<ssize_t>(previous.size());
    if (last >= 0) close(last);
    if (!set) return -1;
    char sleep[] = "sleep";
    char forever[] = "1000";
    char* argv[] = {sleep, forever, nullptr};
    pid_t child = -1;
    if (posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, environ) != 0) return -1;
    if (child == pid) return child;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  return -1;
}

TEST(ProcessWatch, SignalNeverReachesTheProcessThatWasHandedAReapedChildsPid) {
  ZbProcess process;
  process.SetSilence(true);
  std::string error;
  ASSERT_TRUE(process.StartProcess("true", "true", &error, 0)) << error;
  const pid_t pid = process.GetChildPid();
  ASSERT_EQ(waitpid(pid, nullptr, 0), pid);  // the host reaps it
  const pid_t stranger = SpawnWithPid(pid);
  if (stranger != pid) GTEST_SKIP() << "the system would not hand out pid " << pid << " again";

  EXPECT_EQ(process.Signal(SIGKILL), ESRCH);
  bool known = true;
  EXPECT_TRUE(process.HasExited(nullptr, &known));
  EXPECT_FALSE(known);
  EXPECT_TRUE(process.Reap(true));
  EXPECT_EQ(waitpid(stranger, nullptr, WNOHANG), 0) << "signalled or reaped in the child's place";
  kill(stranger, SIGKILL);
  waitpid(stranger, nullptr, 0);
}

TEST(ProcessWatch, AChildTheHostReapsHasExitedWithAnUnknownStatus) {
  for (const ReapingHost& host : kReapingHosts) {
    InHost(host, [&host] {
      ZbProcess process;
      process.SetSilence(true);
      std::string error;
      ASSERT_TRUE(process.StartProcess("true", "true", &error, 0)) << error;
      WaitForExit(process);
      int status = -1;
      bool known = true;
      ASSERT_TRUE(process.HasExited(&status, &known));
      EXPECT_FALSE(known);
      EXPECT_EQ(ZbProcess::DescribeExit(status, known), "exit status unknown (reaped elsewhere)");
      EXPECT_EQ(process.Signal(SIGKILL), ESRCH);
      EXPECT_TRUE(process.Reap(true));
      EXPECT_FALSE(process.ExitStatusKnown());

      // Killed and waited for: Reap returns once it is gone, and makes up no
      // status for it.
      ASSERT_TRUE(process.StartProcess("sleep", "sleep 1000", &error, 0)) << error;
      EXPECT_FALSE(process.HasExited(nullptr, nullptr));
      EXPECT_EQ(process.Signal(SIGKILL), 0);
      const auto start = std::chrono::steady_clock::now();
      EXPECT_TRUE(process.Reap(true));
      EXPECT_LT(ElapsedMs(start), 5000);  // did not hang
      EXPECT_EQ(process.GetChildPid(), 0);
      if (host.everyStatusLost) {
        EXPECT_FALSE(process.ExitStatusKnown());
      } else if (process.ExitStatusKnown()) {
        EXPECT_EQ(ZbProcess::DescribeExit(process.ExitStatus(), true),
                  "killed by signal 9 (SIGKILL)");
      }
    });
  }
}

}  // namespace
