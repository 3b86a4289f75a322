#include "guardian/Guardian.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "PriamUtil.h"
#include "ZbProcessInfo.h"
#include "supervision/SidecarEnd.h"

namespace ZbCassandra {

namespace {

// A service manager that stopped everything ends the host soon after; one
// that stops only the guardian leaves the host in charge of its files.
constexpr auto kHostEndWait = std::chrono::seconds(90);
// What is still in the pipe once the sidecar is gone arrives within moments.
constexpr auto kLastOutputWait = std::chrono::seconds(2);
// A host's lifeline ends while it closes its descriptors, its exit or exec
// not yet complete: its lock on the directory goes a moment later.
constexpr auto kHostLockWait = std::chrono::seconds(1);
constexpr auto kHostLockPoll = std::chrono::milliseconds(5);
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

void SetNonBlocking(int fd) {
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

Guardian::Guardian(const GuardianOptions& options, int signals, Sink sink)
    : m_options(options),
      m_signals(signals),
      m_sink(std::move(sink)),
      m_lifeline(options.lifeline) {
  m_hostFd = Watch(m_options.host, &m_hostEnded);
  if (m_options.sidecar.pid > 0) {
    m_sidecarFd = Watch(m_options.sidecar, &m_sidecarEnded);
  } else {
    // Only the directory's secrets to guard, and no output to drain.
    m_sidecarEnded = m_outputClosed = true;
  }
  SetNonBlocking(0);
  SetNonBlocking(m_lifeline);
}

Guardian::~Guardian() {
  if (m_hostFd >= 0) close(m_hostFd);
  if (m_sidecarFd >= 0) close(m_sidecarFd);
  if (m_lifeline >= 0) close(m_lifeline);
}

int Guardian::Run() {
  for (;;) {
    if (m_hostEnded && !m_released && !m_tookDirectory) {
      StopSidecar("the host ended without stopping it");
      TakeTheDirectory();
      m_tookDirectory = true;
    }
    if (m_stopAsked && !m_released && !m_sidecarKilled) {
      StopSidecar("the guardian was asked to stop");
      m_hostDeadline = Clock::now() + kHostEndWait;
    }
    if (Done(Clock::now())) return 0;
    Poll(PollTimeout());
  }
}

// Its work is over once nothing is left to guard and the sidecar's last
// output is written. Asked to stop while the host lives, it waits for the
// host's end, within reason, so that the files are taken only once it is
// gone.
bool Guardian::Done(Clock::time_point now) {
  const bool sidecarDone = m_sidecarEnded || m_sidecarKilled;
  if (sidecarDone && m_outputDeadline == Clock::time_point::max()) {
    m_outputDeadline = now + kLastOutputWait;
  }
  const bool outputDone = m_outputClosed || now >= m_outputDeadline;
  const bool nothingToGuard =
      m_released || m_tookDirectory || (m_stopAsked && now >= m_hostDeadline);
  return nothingToGuard && sidecarDone && outputDone;
}

int Guardian::PollTimeout() const {
  int timeout = -1;
  if ((m_hostFd < 0 && !m_hostEnded) || (m_sidecarFd < 0 && !m_sidecarEnded)) {
    timeout = kPollFallbackMs;
  }
  if ((m_sidecarEnded || m_sidecarKilled) && !m_outputClosed) timeout = 100;
  if (m_stopAsked && !m_hostEnded && timeout < 0) timeout = 1000;
  return timeout;
}

void Guardian::Poll(int timeoutMs) {
  std::vector<pollfd> fds = {{m_outputClosed ? -1 : 0, POLLIN, 0},
                             {m_hostEnded ? -1 : m_hostFd, POLLIN, 0},
                             {m_sidecarEnded ? -1 : m_sidecarFd, POLLIN, 0},
                             {m_signals, POLLIN, 0},
                             {m_lifeline, POLLIN, 0}};
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
  if (Readable(fds[4])) ReadLifeline();
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

// The host writes only its release; the end of the lifeline without it is
// the host's end, whatever the host did: exit, SIGKILL or exec.
void Guardian::ReadLifeline() {
  char chunk[64];
  for (;;) {
    const ssize_t n = read(m_lifeline, chunk, sizeof chunk);
    if (n > 0) {
      if (m_lifelineText.size() < 1024) m_lifelineText.append(chunk, static_cast<size_t>(n));
      if (m_lifelineText.find(kGuardianRelease) != std::string::npos) m_released = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    close(m_lifeline);
    m_lifeline = -1;
    if (!m_released) m_hostEnded = true;
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
  m_killSent = true;
  Note("Stopped the Priam sidecar (process " + std::to_string(m_options.sidecar.pid) + "): " + why);
}

void Guardian::TakeTheDirectory() {
  if (m_options.confDir.empty()) return;
  // A host that execs, or is still closing its descriptors, lets go of its
  // lock a moment after its lifeline.
  const Clock::time_point deadline = Clock::now() + kHostLockWait;
  const auto hostHolds = [this] {
    PriamUtil::DirectoryReport report;
    return !PriamUtil::reportDirectory(m_options.confDir, &report).IsError() && report.ownerAlive &&
           report.owner == m_options.host.pid;
  };
  bool held = hostHolds();
  while (held && Clock::now() < deadline) {
    std::this_thread::sleep_for(kHostLockPoll);
    held = hostHolds();
  }
  // Once the host is gone, who ended its sidecar is ours to say, before the
  // directory is taken (whoever names a sidecar first keeps it named).
  if (m_killSent && !held) {
    WriteSidecarEnd(m_options.confDir,
                    KilledBy(EndedBy::kGuardian, m_options.sidecar, m_options.host.pid));
  }
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
