#include "Guardian.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "PriamUtil.h"
#include "ZbProcessInfo.h"

namespace ZbCassandra {

namespace {

using Clock = std::chrono::steady_clock;

// A service manager that stopped everything ends the host soon after; one
// that stops only the guardian leaves the host in charge of its files.
constexpr auto kHostEndWait = std::chrono::seconds(90);
// What is still in the pipe once the sidecar is gone arrives within moments.
constexpr auto kLastOutputWait = std::chrono::seconds(2);
// Without pidfds the two processes are looked at this often.
constexpr int kPollFallbackMs = 100;

// A descriptor that becomes readable once `process` has ended; -1, with
// `*ended` set, when it has ended already (or its pid is someone else's
// now), and -1 on a kernel without pidfds.
int Watch(const ProcessId& process, bool* ended) {
#ifdef SYS_pidfd_open
  const int fd = static_cast<int>(syscall(SYS_pidfd_open, process.pid, 0));
#else
  const int fd = -1;
#endif
  // Checked once the descriptor is held: the pid cannot change hands then.
  *ended = !IsAlive(process);
  if (*ended && fd >= 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool Readable(const pollfd& entry) {
  return entry.fd >= 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

}  // namespace

Guardian::Guardian(const GuardianOptions& options, int signals, Sink sink)
    : m_options(options), m_signals(signals), m_sink(std::move(sink)) {
  m_hostFd = Watch(m_options.host, &m_hostEnded);
  m_sidecarFd = Watch(m_options.sidecar, &m_sidecarEnded);
  fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
}

Guardian::~Guardian() {
  if (m_hostFd >= 0) close(m_hostFd);
  if (m_sidecarFd >= 0) close(m_sidecarFd);
}

int Guardian::Run() {
  Clock::time_point hostDeadline = Clock::time_point::max();
  Clock::time_point outputDeadline = Clock::time_point::max();
  bool tookDirectory = false;
  for (;;) {
    if (m_hostEnded && !tookDirectory) {
      StopSidecar("the host ended without stopping it");
      TakeTheDirectory();
      tookDirectory = true;
    }
    if (m_stopAsked && !m_sidecarKilled) {
      StopSidecar("the guardian was asked to stop");
      hostDeadline = Clock::now() + kHostEndWait;
    }
    const bool sidecarDone = m_sidecarEnded || m_sidecarKilled || tookDirectory;
    if (sidecarDone && outputDeadline == Clock::time_point::max()) {
      outputDeadline = Clock::now() + kLastOutputWait;
    }
    const bool outputDone = m_outputClosed || Clock::now() >= outputDeadline;
    // Asked to stop while the host lives: its end is waited for, within
    // reason, so that its files are taken only once it is gone.
    const bool waitingForHost = m_stopAsked && !m_hostEnded && Clock::now() < hostDeadline;
    if (sidecarDone && outputDone && !waitingForHost) return 0;

    int timeout = -1;
    if (m_hostFd < 0 && !m_hostEnded) timeout = kPollFallbackMs;
    if (m_sidecarFd < 0 && !m_sidecarEnded) timeout = kPollFallbackMs;
    if (sidecarDone && !m_outputClosed) timeout = 100;
    if (waitingForHost && timeout < 0) timeout = 1000;
    Poll(timeout);
  }
}

void Guardian::Poll(int timeoutMs) {
  std::vector<pollfd> fds = {{m_outputClosed ? -1 : 0, POLLIN, 0},
                             {m_hostEnded ? -1 : m_hostFd, POLLIN, 0},
                             {m_sidecarEnded ? -1 : m_sidecarFd, POLLIN, 0},
                             {m_signals, POLLIN, 0}};
  if (poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) return;
  if (Readable(fds[0])) Drain();
  if (Readable(fds[1]) || (m_hostFd < 0 && !IsAlive(m_options.host))) m_hostEnded = true;
  if (Readable(fds[2]) || (m_sidecarFd < 0 && !IsAlive(m_options.sidecar))) m_sidecarEnded = true;
  if (Readable(fds[3])) {
    signalfd_siginfo info;
    while (read(m_signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      m_stopAsked = true;
    }
  }
}

void Guardian::Drain() {
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(0, chunk, sizeof chunk);
    if (n > 0) {
      m_sink(chunk, static_cast<size_t>(n));
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) m_outputClosed = true;
    if (n < 0 && errno == EINTR) continue;
    return;
  }
}

void Guardian::Note(const std::string& text) {
  const std::string line = "[zbPriam guardian] " + text + "\n";
  m_sink(line.data(), line.size());
}

void Guardian::StopSidecar(const char* why) {
  m_sidecarKilled = true;
  // Its group holds whatever it started; the leader, alive and watched
  // through its pidfd, keeps the group's id from being anyone else's.
  if (m_sidecarEnded || !IsAlive(m_options.sidecar)) return;
  if (kill(-m_options.sidecar.pid, SIGKILL) != 0) kill(m_options.sidecar.pid, SIGKILL);
  Note("Stopped the Priam sidecar (process " + std::to_string(m_options.sidecar.pid) + "): " + why);
}

void Guardian::TakeTheDirectory() {
  if (m_options.confDir.empty()) return;
  std::vector<pid_t> stopped;
  const CYrError error = PriamUtil::stopDirectorySidecars(m_options.confDir, false, &stopped);
  if (error.IsError()) {
    Note("Could not clean up " + m_options.confDir + ": " + error.Message());
  } else {
    Note("The host (process " + std::to_string(m_options.host.pid) + ") has ended; " +
         m_options.confDir + " holds no secret and runs no sidecar");
  }
}

}  // namespace ZbCassandra
