#include "ZbProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "FXString.h"
#include "LogMacros.h"
#include "YrCancel.h"

extern char** environ;

namespace {

// Output beyond this is read and dropped, so a runaway command cannot
// exhaust the host's memory.
constexpr size_t kMaxCapture = 16u << 20;

constexpr const char kCancelledReason[] = "command cancelled";

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> pieces;
  FXString::Split(text, " ", pieces, 0);
  std::vector<std::string> words;
  for (std::string& piece : pieces) {
    if (!piece.empty()) words.push_back(std::move(piece));
  }
  return words;
}

std::vector<char*> ArgumentVector(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  return argv;
}

int64_t NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Spawn attributes and file actions, released on every path out. A step
// that fails is remembered, and nothing may be spawned from a set-up that
// misses a step: the child would run with the host's descriptors or
// signal state.
class SpawnSetup {
 public:
  SpawnSetup() {
    m_attributesReady = Check(posix_spawnattr_init(&attributes));
    m_actionsReady = Check(posix_spawn_file_actions_init(&actions));
  }
  ~SpawnSetup() {
    if (m_actionsReady) posix_spawn_file_actions_destroy(&actions);
    if (m_attributesReady) posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // The first error a step met, 0 when every step succeeded.
  int failure() const { return m_failure; }

  // The child starts with no blocked signal and default handlers, whatever
  // the host has set up for itself; with `ownGroup`, in a process group of
  // its own; with `ownSession`, in a session of its own (which is a group of
  // its own as well).
  void CleanSignals(bool ownGroup, bool ownSession = false) {
    if (!m_attributesReady) return;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    Check(posix_spawnattr_setsigmask(&attributes, &none));
    Check(posix_spawnattr_setsigdefault(&attributes, &all));
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownSession) {
      flags |= POSIX_SPAWN_SETSID;
    } else if (ownGroup) {
      flags |= POSIX_SPAWN_SETPGROUP;
      Check(posix_spawnattr_setpgroup(&attributes, 0));
    }
    Check(posix_spawnattr_setflags(&attributes, flags));
  }

  void Open(int descriptor, const char* path, int flags) {
    if (m_actionsReady) {
      Check(posix_spawn_file_actions_addopen(&actions, descriptor, path, flags, 0));
    }
  }

  void Dup(int from, int to) {
    if (m_actionsReady) Check(posix_spawn_file_actions_adddup2(&actions, from, to));
  }

  // The child sees only descriptors 0 to `last` (2, or 3 with a passed
  // one). Added after the actions that set those up, since actions run in
  // order.
  void CloseTheRest(int last = 2) {
    if (m_actionsReady) Check(posix_spawn_file_actions_addclosefrom_np(&actions, last + 1));
  }

  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;

 private:
  bool Check(int rc) {
    if (rc != 0 && m_failure == 0) m_failure = rc;
    return rc == 0;
  }

  bool m_attributesReady = false;
  bool m_actionsReady = false;
  int m_failure = 0;
};

class Pipe {
 public:
  Pipe() {
    if (pipe2(ends, O_CLOEXEC) != 0) ends[0] = ends[1] = -1;
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  bool ok() const { return ends[0] >= 0; }
  void CloseRead() { Close(0); }
  void CloseWrite() { Close(1); }

  int ends[2];

 private:
  void Close(int which) {
    if (ends[which] >= 0) ::close(ends[which]);
    ends[which] = -1;
  }
};

// How a wait for a command ended.
enum class Waited { kDone, kTimedOut, kCancelled };

// Read both pipes until both are closed, the deadline passes or the thread
// is cancelled.
Waited Drain(Pipe& out, Pipe& err, std::string* output, std::string* error, int64_t deadline) {
  Pipe* pipes[2] = {&out, &err};
  std::string* sinks[2] = {output, error};
  char chunk[65536];
  while (out.ends[0] >= 0 || err.ends[0] >= 0) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) return Waited::kTimedOut;
    struct pollfd fds[2];
    for (int i = 0; i < 2; ++i) {
      fds[i].fd = pipes[i]->ends[0];
      fds[i].events = POLLIN;
      fds[i].revents = 0;
    }
    const int ready = YRCANCEL_Poll(fds, 2, static_cast<int>(left > 1000 ? 1000 : left));
    if (ready < 0 && errno != EINTR) return Waited::kTimedOut;
    if (YRCANCEL_Requested()) return Waited::kCancelled;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof(chunk));
      if (n > 0) {
        std::string* sink = sinks[i];
        if (sink && sink->size() < kMaxCapture) {
          sink->append(chunk, std::min(static_cast<size_t>(n), kMaxCapture - sink->size()));
        }
      } else if (n == 0 || errno != EINTR) {
        pipes[i]->CloseRead();
      }
    }
  }
  return Waited::kDone;
}

// A descriptor that becomes readable when the child `pid` exits, or -1 on a
// kernel without pidfd_open (always close-on-exec).
int OpenPidDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

// Wait for `pid` until the deadline or a cancel of the thread. `*lost` is
// set when the child was reaped elsewhere (a host that ignores SIGCHLD, or
// waits for any child), so that its exit status is unknown.
Waited WaitUntil(pid_t pid, int* status, bool* lost, int64_t deadline) {
  *lost = false;
  // With a descriptor of the child's exit the wait blocks until then; a
  // child that has closed its output has usually not yet exited, and
  // polling for it added up to 2 ms to every command.
  const int exitDescriptor = OpenPidDescriptor(pid);
  Waited waited = Waited::kTimedOut;
  for (;;) {
    const pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) {
      waited = Waited::kDone;
      break;
    }
    if (done < 0 && errno != EINTR) {
      *lost = true;
      waited = Waited::kDone;
      break;
    }
    const int64_t left = deadline - NowMs();
    if (left <= 0) break;
    // Without a pidfd the exit is looked for every 2 ms.
    struct pollfd exited = {exitDescriptor, POLLIN, 0};
    const int slice = exitDescriptor >= 0 ? static_cast<int>(left > 1000 ? 1000 : left) : 2;
    YRCANCEL_Poll(&exited, 1, slice);
    if (YRCANCEL_Requested()) {
      waited = Waited::kCancelled;
      break;
    }
  }
  if (exitDescriptor >= 0) ::close(exitDescriptor);
  return waited;
}

// Variables that change what ps, grep, awk, which and whereis print: the
// terminal width procps cuts its lines to, its output formats, and locale
// or POSIX modes. A host started from a shell often exports COLUMNS, and a
// cut ps line hides a pid-file option or cuts a port number short.
bool ShapesToolOutput(const std::string& entry) {
  static const char* const kDropped[] = {"COLUMNS=",      "LINES=",   "POSIXLY_CORRECT=",
                                         "GREP_OPTIONS=", "CMD_ENV=", "I_WANT_A_BROKEN_PS=",
                                         "POSIX2=",       "UNIX95=",  "_XPG=",
                                         "LC_ALL=",       "PS_"};
  for (const char* prefix : kDropped) {
    if (entry.compare(0, strlen(prefix), prefix) == 0) return true;
  }
  return false;
}

// The host's environment (PATH included) without what shapes the tools'
// output, and in the C locale. The host's own environment is not touched.
std::vector<std::string> ToolEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (!ShapesToolOutput(*entry)) entries.emplace_back(*entry);
  }
  entries.emplace_back("LC_ALL=C");
  return entries;
}

// `fd`, or a close-on-exec copy of it above 3 while the object lives: the
// child's set-up of 0-3 cannot overwrite it then.
struct HighDescriptor {
  explicit HighDescriptor(int original)
      : fd(original >= 0 && original <= 3 ? fcntl(original, F_DUPFD_CLOEXEC, 4) : original),
        copied(fd != original) {}
  ~HighDescriptor() {
    if (copied && fd >= 0) ::close(fd);
  }
  HighDescriptor(const HighDescriptor&) = delete;
  HighDescriptor& operator=(const HighDescriptor&) = delete;
  const int fd;
  const bool copied;
};

// The host's environment with `extra` ("NAME=value") in place of the host's
// variables of those names. The host's own environment is not touched.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string text = *entry;
    const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& added) {
      const size_t equals = added.find('=');
      return text.compare(0, equals + 1, added, 0, equals + 1) == 0;
    });
    if (!replaced) entries.push_back(text);
  }
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

void AppendReason(std::string* error, const std::string& reason) {
  if (!error) return;
  if (!error->empty() && error->back() != '\n') error->push_back('\n');
  error->append(reason);
}

// glibc's idtype_t does not name it yet.
constexpr idtype_t kByPidDescriptor = static_cast<idtype_t>(3);  // P_PIDFD

// waitid for the child `pid`, through its pidfd when there is one: a pid
// that the host reaped and the system handed out again may belong to
// another child of ours. `info->si_pid` is 0 while it runs under WNOHANG.
int WaitForChild(pid_t pid, int pidDescriptor, int options, siginfo_t* info) {
  memset(info, 0, sizeof(*info));
  int rc;
  do {
    rc = pidDescriptor >= 0 ? waitid(kByPidDescriptor, pidDescriptor, info, options)
                            : waitid(P_PID, pid, info, options);
    // A kernel that has pidfds but cannot wait through them (5.3).
    if (rc != 0 && errno == EINVAL && pidDescriptor >= 0) {
      pidDescriptor = -1;
      errno = EINTR;
    }
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// The status waitpid would have given for what waitid reported.
int WaitStatus(const siginfo_t& info) {
  switch (info.si_code) {
    case CLD_EXITED:
      return W_EXITCODE(info.si_status, 0);
    case CLD_DUMPED:
      return info.si_status | WCOREFLAG;
    default:
      return info.si_status;
  }
}

// A descriptor that becomes readable once the child `pid`, just spawned,
// has exited; -1 when there can be none. Opened at once, while the pid can
// only be the child's, yet a host that ignores SIGCHLD may have had the
// child reaped already, its pid even handed out again: a pidfd that leads
// to no child of ours is not kept, `*gone` is set, and an always readable
// stand-in tells pollers that the child is gone.
int WatchChild(pid_t pid, bool* gone) {
  const int pidDescriptor = OpenPidDescriptor(pid);
  *gone = pidDescriptor < 0 && errno == ESRCH;
  if (pidDescriptor >= 0) {
    siginfo_t info;
    *gone = WaitForChild(pid, pidDescriptor, WEXITED | WNOHANG | WNOWAIT, &info) != 0 &&
            errno == ECHILD;
    if (!*gone) return pidDescriptor;
    ::close(pidDescriptor);
  }
  return *gone ? eventfd(1, EFD_CLOEXEC) : -1;
}

bool IsReadable(int fd, int timeoutMs) {
  struct pollfd ready = {fd, POLLIN, 0};
  int rc;
  while ((rc = poll(&ready, 1, timeoutMs)) < 0 && errno == EINTR) {
  }
  return rc > 0;
}

}  // namespace

ZbProcess::~ZbProcess() {
  Reap(false);
  ForgetChild();
}

void ZbProcess::ForgetChild() {
  if (m_exitFd >= 0) ::close(m_exitFd);
  m_exitFd = -1;
  m_exited = false;
  m_status = 0;
  m_statusKnown = false;
}

// The first look that sees the exit decides: a status seen while the child
// was ours stays known after the host reaps it.
void ZbProcess::SeeExit(int status, bool statusKnown) const {
  if (m_exited) return;
  m_exited = true;
  m_status = status;
  m_statusKnown = statusKnown;
}

int ZbProcess::system(const std::string& command, std::string* output, std::string* error,
                      int timeoutSeconds, bool useShell) {
  if (output) output->clear();
  if (error) error->clear();
  std::vector<std::string> words =
      useShell ? std::vector<std::string>{"/bin/sh", "-c", command} : Words(command);
  if (words.empty()) {
    AppendReason(error, "empty command");
    return -1;
  }
  if (YRCANCEL_Requested()) {
    AppendReason(error, kCancelledReason);
    return -1;
  }
  Pipe out;
  Pipe err;
  if (!out.ok() || !err.ok()) {
    AppendReason(error, std::string("cannot create a pipe: ") + strerror(errno));
    return -1;
  }
  SpawnSetup setup;
  // Its own process group, so that a time-out can kill the whole pipeline.
  setup.CleanSignals(true);
  setup.Open(0, "/dev/null", O_RDONLY);
  setup.Dup(out.ends[1], 1);
  setup.Dup(err.ends[1], 2);
  setup.CloseTheRest();

  std::vector<char*> argv = ArgumentVector(words);
  std::vector<std::string> environment = ToolEnvironment();
  std::vector<char*> envp = ArgumentVector(environment);
  pid_t pid = 0;
  const int spawned = setup.failure() != 0
                          ? setup.failure()
                          : posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes,
                                         argv.data(), envp.data());
  out.CloseWrite();
  err.CloseWrite();
  if (spawned != 0) {
    AppendReason(error, "cannot run " + words[0] + ": " + strerror(spawned));
    return -1;
  }

  const int seconds = timeoutSeconds > 0 ? timeoutSeconds : kDefaultTimeoutSeconds;
  const int64_t deadline = NowMs() + static_cast<int64_t>(seconds) * 1000;
  int status = 0;
  bool lost = false;
  Waited waited = Drain(out, err, output, error, deadline);
  if (waited == Waited::kDone) waited = WaitUntil(pid, &status, &lost, deadline);
  if (waited != Waited::kDone) {
    kill(-pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    AppendReason(error, waited == Waited::kCancelled
                            ? std::string(kCancelledReason)
                            : "command timed out after " + std::to_string(seconds) + " s");
    return -1;
  }
  // Under a host that reaps every child no command would ever succeed:
  // the callers judge its output instead, as they do after a failure.
  if (lost) {
    ZB_LOG(0, "The exit status of \"%s\" was lost (reaped elsewhere); judged by its output",
           command.c_str());
    return 0;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

bool ZbProcess::StartProcess(const std::string& program, const std::string& arguments,
                             std::string* error, int /*reserved*/) {
  std::vector<std::string> words = Words(arguments);
  if (words.empty()) words.push_back(program);
  return Start(program, words, error);
}

bool ZbProcess::StartProgram(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty()) {
    AppendReason(error, "no program to start");
    return false;
  }
  return Start(argv[0], argv, error);
}

bool ZbProcess::Start(const std::string& program, std::vector<std::string> words,
                      std::string* error) {
  if (!Reap(false)) {
    AppendReason(error,
                 "a child started earlier (pid " + std::to_string(m_pid) + ") is still running");
    return false;
  }
  ForgetChild();
  // A host that closed its standard descriptors may have been given 0 to 2
  // for these: copies above 2 cannot be overwritten by the child's set-up.
  const HighDescriptor input(m_inputFd);
  const HighDescriptor output(m_outputFd);
  const HighDescriptor passed(m_passedFd);
  SpawnSetup setup;
  setup.CleanSignals(m_ownGroup, m_ownSession);
  if (input.fd >= 0) setup.Dup(input.fd, 0);
  if (output.fd >= 0) {
    setup.Dup(output.fd, 1);
    setup.Dup(output.fd, 2);
  }
  if (m_inputFd < 0 && (m_outputFd >= 0 || m_silent)) setup.Open(0, "/dev/null", O_RDONLY);
  if (m_outputFd < 0 && m_silent) {
    setup.Open(1, "/dev/null", O_WRONLY);
    setup.Open(2, "/dev/null", O_WRONLY);
  }
  if (passed.fd >= 0) setup.Dup(passed.fd, 3);
  setup.CloseTheRest(passed.fd >= 0 ? 3 : 2);
  std::vector<char*> argv = ArgumentVector(words);
  std::vector<std::string> environment = EnvironmentWith(m_extraEnv);
  std::vector<char*> envp = ArgumentVector(environment);
  pid_t pid = 0;
  const int spawned = setup.failure() != 0
                          ? setup.failure()
                          : posix_spawnp(&pid, program.c_str(), &setup.actions, &setup.attributes,
                                         argv.data(), envp.data());
  if (spawned != 0) {
    AppendReason(error, "cannot start " + program + ": " + strerror(spawned));
    return false;
  }
  m_pid = pid;
  m_groupStarted = m_ownGroup || m_ownSession;
  bool gone = false;
  m_exitFd = WatchChild(pid, &gone);
  if (gone) SeeExit(0, false);
  return true;
}

bool ZbProcess::HasExited(int* status, bool* statusKnown) const {
  if (m_pid > 0 && !m_exited && (m_exitFd < 0 || IsReadable(m_exitFd, 0))) {
    siginfo_t info;
    if (WaitForChild(m_pid, m_exitFd, WEXITED | WNOHANG | WNOWAIT, &info) == 0) {
      if (info.si_pid != 0) SeeExit(WaitStatus(info), true);
    } else if (errno == ECHILD) {
      SeeExit(0, false);
    }
  }
  if (m_exited) {
    if (status) *status = m_status;
    if (statusKnown) *statusKnown = m_statusKnown;
  }
  return m_exited;
}

std::string ZbProcess::DescribeExit(int status, bool statusKnown) {
  if (!statusKnown) return "exit status unknown (reaped elsewhere)";
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (!WIFSIGNALED(status)) return "wait status " + std::to_string(status);
  const int signal = WTERMSIG(status);
  std::string text = "killed by signal " + std::to_string(signal);
  if (const char* name = sigabbrev_np(signal)) text += std::string(" (SIG") + name + ")";
  return text;
}

int ZbProcess::Signal(int signal) {
  if (m_pid <= 0 || HasExited(nullptr, nullptr)) return ESRCH;
#ifdef SYS_pidfd_send_signal
  if (m_exitFd >= 0) {
    if (syscall(SYS_pidfd_send_signal, m_exitFd, signal, nullptr, 0) == 0) return 0;
    if (errno != ENOSYS) return errno;
  }
#endif
  return kill(m_pid, signal) == 0 ? 0 : errno;
}

int ZbProcess::SignalGroup(int signal) {
  if (m_pid <= 0) return ESRCH;
  if (!m_groupStarted) return EINVAL;
  // Reaped by the host: the group's id may already name someone else's. An
  // exit seen but not collected leaves a zombie that keeps the id ours.
  HasExited(nullptr, nullptr);
  if (m_exited && !m_statusKnown) return ESRCH;
  return kill(-m_pid, signal) == 0 ? 0 : errno;
}

bool ZbProcess::ReapWithin(int milliseconds) {
  const int64_t deadline = NowMs() + milliseconds;
  while (!Reap(false)) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    if (m_exitFd >= 0) {
      IsReadable(m_exitFd, static_cast<int>(std::min<int64_t>(left, 100)));
    } else {
      struct timespec pause = {0, 2 * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  }
  return true;
}

bool ZbProcess::Reap(bool wait) {
  // Reaped by the host, or gone before it could be watched: nothing of ours
  // is left to collect.
  if (m_exited && !m_statusKnown) m_pid = 0;
  while (m_pid > 0) {
    // With a pidfd the wait is for the exit alone and the collection never
    // blocks, so that a child the host reaps first cannot leave us waiting.
    if (wait && m_exitFd >= 0) IsReadable(m_exitFd, -1);
    const int options = WEXITED | (wait && m_exitFd < 0 ? 0 : WNOHANG);
    siginfo_t info;
    if (WaitForChild(m_pid, m_exitFd, options, &info) != 0) {
      SeeExit(0, false);  // ECHILD: the host reaped it
    } else if (info.si_pid != 0) {
      SeeExit(WaitStatus(info), true);
    } else if (!wait) {
      return false;
    } else {
      // Exited but not yet ours to collect (a tracer reports it first).
      struct timespec pause = {0, 1000 * 1000};
      nanosleep(&pause, nullptr);
      continue;
    }
    m_pid = 0;
  }
  return true;
}
