// What ends the calling thread's blocking platform calls before their time.
//
// Code that must be able to stop a thread's waits from elsewhere (another
// thread, a signal handler) announces a cancel descriptor for that thread
// while it works: an eventfd or a pipe that becomes readable, and stays so,
// once the work is to end. Meanwhile each wait of the platform on that thread
// also ends within milliseconds once the descriptor is readable: the sleeps
// (YRSLEEP_InTeRnAl, YRSLEEP_UntilExit), a command run by ZbProcess::system
// (killed with its process group; -1 is returned) and an HTTP exchange of
// ZBLibCurl (it fails and its connection is closed). The caller tells a wait
// that was cancelled from one that ran its course by YRCANCEL_Requested().
//
// It may also name the process that serves the thread's HTTP exchanges, a
// local service: an exchange in flight then also fails once that process is
// stopped (SIGSTOP, a debugger), since a stopped process answers nothing.
//
// Announcing costs two thread-local stores; nothing here takes a lock.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <functional>

class YrCancelScope {
 public:
  // Announce `descriptor` (-1: none; the thread's waits then run their
  // course) and `peer` (0: none) for the calling thread until destruction,
  // which announces again what was announced before: scopes nest.
  YrCancelScope(int descriptor, pid_t peer);
  ~YrCancelScope();
  YrCancelScope(const YrCancelScope&) = delete;
  YrCancelScope& operator=(const YrCancelScope&) = delete;

 private:
  const int m_previousDescriptor;
  const pid_t m_previousPeer;
};

// A process the thread's work relies on beside the peer (a helper that
// drains the peer's output, say), and how to replace it once it has ended.
// While a YrWatchScope names it, every wait of the platform on the thread
// (the ones YRCANCEL_Poll serves, and HTTP exchanges) also wakes once
// `descriptor` is readable, calls `restore` on the waiting thread, and goes
// on with what is left of its time: the process is replaced within moments
// whatever the thread waits for. `restore` must leave `descriptor`
// unreadable (a new process's) or -1; it is never called from within
// itself. A stopped watched process counts as a stopped peer too.
struct YrWatch {
  int descriptor = -1;  // readable once the process has ended; -1: none
  pid_t process = 0;    // 0: none
  std::function<void()> restore;
};

// Announce `watch` (null: none) for the calling thread until destruction,
// as YrCancelScope does for the cancel descriptor. The watch must outlive
// the scope.
class YrWatchScope {
 public:
  explicit YrWatchScope(YrWatch* watch);
  ~YrWatchScope();
  YrWatchScope(const YrWatchScope&) = delete;
  YrWatchScope& operator=(const YrWatchScope&) = delete;

 private:
  YrWatch* const m_previous;
};

// The calling thread's cancel descriptor, -1 when none is announced.
int YRCANCEL_Descriptor();
// The descriptor is readable: the thread's work is to end.
bool YRCANCEL_Requested();
// The process that serves the thread's HTTP exchanges, 0 when none is named.
pid_t YRCANCEL_Peer();
// That process is stopped (state 'T' or 't' in /proc/PID/stat).
bool YRCANCEL_PeerStopped();
// The thread's watched process (YrWatch) is stopped: its pid, else 0.
pid_t YRCANCEL_WatchedStopped();
// The watch's descriptor, -1 when none; and its restore, called once the
// descriptor is readable (a no-op otherwise), for waits that poll on their
// own (libcurl's).
int YRCANCEL_WatchDescriptor();
void YRCANCEL_TendWatch();

// poll() on `fds` (at most 7), the calling thread's cancel descriptor and
// its watch together, for `timeoutMs` at most (-1: no limit). Returns what
// poll() returns for the whole set (-1 with errno on failure, EINTR
// included); the revents of `fds` are filled in, and a cancel shows in
// YRCANCEL_Requested(). A watched process that ended is restored before it
// returns (see YrWatch); callers loop until their own condition holds.
int YRCANCEL_Poll(struct pollfd* fds, nfds_t count, int timeoutMs);
