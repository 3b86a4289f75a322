#include "ZbProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "FXString.h"

extern char** environ;

namespace {

// Output beyond this is read and dropped, so a runaway command cannot
// exhaust the host's memory.
constexpr size_t kMaxCapture = 16u << 20;

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
  // its own.
  void CleanSignals(bool ownGroup) {
    if (!m_attributesReady) return;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    Check(posix_spawnattr_setsigmask(&attributes, &none));
    Check(posix_spawnattr_setsigdefault(&attributes, &all));
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownGroup) {
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

  // The child sees only descriptors 0-2. Added after the actions that set
  // those up, since actions run in order.
  void CloseTheRest() {
    if (m_actionsReady) Check(posix_spawn_file_actions_addclosefrom_np(&actions, 3));
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

// Read both pipes until both are closed or the deadline passes.
bool Drain(Pipe& out, Pipe& err, std::string* output, std::string* error, int64_t deadline) {
  Pipe* pipes[2] = {&out, &err};
  std::string* sinks[2] = {output, error};
  char chunk[65536];
  while (out.ends[0] >= 0 || err.ends[0] >= 0) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    struct pollfd fds[2];
    for (int i = 0; i < 2; ++i) {
      fds[i].fd = pipes[i]->ends[0];
      fds[i].events = POLLIN;
      fds[i].revents = 0;
    }
    const int ready = poll(fds, 2, static_cast<int>(left > 1000 ? 1000 : left));
    if (ready < 0 && errno != EINTR) return false;
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
  return true;
}

// A descriptor that becomes readable when the child `pid` exits, or -1 on a
// kernel without pidfd_open (always close-on-exec).
int ExitDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// Wait for `pid` until the deadline; false when it is still running then.
// `*lost` is set when the child was reaped elsewhere (a host that ignores
// SIGCHLD, or waits for any child), so that its exit status is unknown.
bool WaitUntil(pid_t pid, int* status, bool* lost, int64_t deadline) {
  *lost = false;
  // With a descriptor of the child's exit the wait blocks until then; a
  // child that has closed its output has usually not yet exited, and
  // polling for it added up to 2 ms to every command.
  const int exitDescriptor = ExitDescriptor(pid);
  bool ended = false;
  for (;;) {
    const pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) {
      ended = true;
      break;
    }
    if (done < 0 && errno != EINTR) {
      *lost = true;
      ended = true;
      break;
    }
    const int64_t left = deadline - NowMs();
    if (left <= 0) break;
    if (exitDescriptor >= 0) {
      struct pollfd exited = {exitDescriptor, POLLIN, 0};
      poll(&exited, 1, static_cast<int>(left > 1000 ? 1000 : left));
    } else {
      struct timespec pause = {0, 2 * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  }
  if (exitDescriptor >= 0) ::close(exitDescriptor);
  return ended;
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

void AppendReason(std::string* error, const std::string& reason) {
  if (!error) return;
  if (!error->empty() && error->back() != '\n') error->push_back('\n');
  error->append(reason);
}

}  // namespace

ZbProcess::~ZbProcess() { Reap(false); }

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
  if (!Drain(out, err, output, error, deadline) || !WaitUntil(pid, &status, &lost, deadline)) {
    kill(-pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    AppendReason(error, "command timed out after " + std::to_string(seconds) + " s");
    return -1;
  }
  // Under a host that reaps every child no command would ever succeed:
  // the callers judge its output instead, as they do after a failure.
  if (lost) {
    AppendReason(
        error, "the exit status of the command was lost (reaped elsewhere); judged by its output");
    return 0;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

bool ZbProcess::StartProcess(const std::string& program, const std::string& arguments,
                             std::string* error, int /*reserved*/) {
  if (!Reap(false)) {
    AppendReason(error,
                 "a child started earlier (pid " + std::to_string(m_pid) + ") is still running");
    return false;
  }
  std::vector<std::string> words = Words(arguments);
  if (words.empty()) words.push_back(program);
  SpawnSetup setup;
  setup.CleanSignals(false);
  if (m_silent) {
    setup.Open(0, "/dev/null", O_RDONLY);
    setup.Open(1, "/dev/null", O_WRONLY);
    setup.Open(2, "/dev/null", O_WRONLY);
  }
  setup.CloseTheRest();
  std::vector<char*> argv = ArgumentVector(words);
  pid_t pid = 0;
  const int spawned = setup.failure() != 0 ? setup.failure()
                                           : posix_spawnp(&pid, program.c_str(), &setup.actions,
                                                          &setup.attributes, argv.data(), environ);
  if (spawned != 0) {
    AppendReason(error, "cannot start " + program + ": " + strerror(spawned));
    return false;
  }
  m_pid = pid;
  m_status = 0;
  return true;
}

bool ZbProcess::Reap(bool wait) {
  while (m_pid > 0) {
    int status = 0;
    const pid_t done = waitpid(m_pid, &status, wait ? 0 : WNOHANG);
    if (done == 0) return false;
    if (done < 0 && errno == EINTR) continue;
    // Either reaped here, or already gone (ECHILD: the host reaped it).
    m_status = done == m_pid ? status : 0;
    m_pid = 0;
  }
  return true;
}
