#include "YrSleep.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>
#include <mutex>

#include "YrCancel.h"

namespace {

std::mutex g_handlerMutex;
YrSleepHandler g_handler;

// The exit descriptor of the YRSLEEP_UntilExit call that a handler stands in
// for on this thread, for YRSLEEP_Unhandled; -1 outside such a call.
thread_local int t_handledExit = -1;

class HandledWait {
 public:
  explicit HandledWait(int exitDescriptor) : m_previous(t_handledExit) {
    t_handledExit = exitDescriptor;
  }
  ~HandledWait() { t_handledExit = m_previous; }
  HandledWait(const HandledWait&) = delete;
  HandledWait& operator=(const HandledWait&) = delete;

 private:
  const int m_previous;
};

void Nanosleep(uint32_t milliseconds) {
  struct timespec remaining;
  remaining.tv_sec = milliseconds / 1000;
  remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  // Resume after a signal, so that the caller sleeps the whole time.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

YrSleepHandler CurrentHandler() {
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  return g_handler;
}

// A hang-up counts: a pipe whose write end is closed stands for an exit too.
bool Readable(int fd) {
  if (fd < 0) return false;
  struct pollfd ready = {fd, POLLIN, 0};
  return poll(&ready, 1, 0) > 0 && (ready.revents & POLLNVAL) == 0;
}

// Wait up to `milliseconds` for `fd` (-1: none) to become readable; true
// when it did. The wait also ends at a cancel of the thread, and otherwise
// lasts the whole time, even when signals interrupt it or `fd` cannot be
// polled. steady_clock is CLOCK_MONOTONIC: setting the wall clock changes
// nothing.
bool PollReadable(uint32_t milliseconds, int fd) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const int64_t left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    struct pollfd ready = {fd, POLLIN, 0};
    const int rc = YRCANCEL_Poll(&ready, 1, static_cast<int>(std::min<int64_t>(left, INT_MAX)));
    if (rc < 0 && errno != EINTR) {
      Nanosleep(static_cast<uint32_t>(left));
      return false;
    }
    // POLLNVAL: not an open descriptor; only the cancel is left to wait for.
    if (ready.revents & POLLNVAL) {
      fd = -1;
    } else if (ready.revents != 0) {
      return true;
    }
    if (YRCANCEL_Requested()) return false;
  }
}

void RealSleep(uint32_t milliseconds) {
  if (YRCANCEL_Descriptor() < 0) {
    Nanosleep(milliseconds);
  } else {
    PollReadable(milliseconds, -1);
  }
}

}  // namespace

void YRSLEEP_InTeRnAl(uint32_t milliseconds, const char* file, int line) {
  if (YRCANCEL_Requested()) return;
  YrSleepHandler handler = CurrentHandler();
  if (handler) {
    handler(milliseconds, file, line);
  } else {
    RealSleep(milliseconds);
  }
}

bool YRSLEEP_UntilExit(uint32_t milliseconds, int exitDescriptor, const char* file, int line) {
  if (exitDescriptor < 0) {
    YRSLEEP_InTeRnAl(milliseconds, file, line);
    return false;
  }
  if (YRCANCEL_Requested()) return Readable(exitDescriptor);
  YrSleepHandler handler = CurrentHandler();
  if (!handler) return PollReadable(milliseconds, exitDescriptor);
  {
    const HandledWait handled(exitDescriptor);
    handler(milliseconds, file, line);
  }
  return Readable(exitDescriptor);
}

YrSleepHandler YRSLEEP_SetHandler(YrSleepHandler handler) {
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  std::swap(g_handler, handler);
  return handler;
}

void YRSLEEP_Unhandled(uint32_t milliseconds) {
  if (YRCANCEL_Requested()) return;
  if (t_handledExit >= 0) {
    PollReadable(milliseconds, t_handledExit);
  } else {
    RealSleep(milliseconds);
  }
}
