#include "YrSleep.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>
#include <mutex>

namespace {

std::mutex g_handlerMutex;
YrSleepHandler g_handler;

void RealSleep(uint32_t milliseconds) {
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

enum class Readiness { kReadable, kNotYet, kUnusable };

Readiness PollOnce(int fd, int timeoutMs) {
  struct pollfd ready = {fd, POLLIN, 0};
  const int rc = poll(&ready, 1, timeoutMs);
  // POLLNVAL: not an open descriptor.
  if (rc > 0) return (ready.revents & POLLNVAL) ? Readiness::kUnusable : Readiness::kReadable;
  return rc == 0 || errno == EINTR ? Readiness::kNotYet : Readiness::kUnusable;
}

// Wait up to `milliseconds` for `fd` to become readable; the whole time
// even when signals interrupt the wait or the descriptor cannot be polled.
// steady_clock is CLOCK_MONOTONIC: setting the wall clock changes nothing.
bool PollReadable(uint32_t milliseconds, int fd) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const int64_t left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    switch (PollOnce(fd, static_cast<int>(std::min<int64_t>(left, INT_MAX)))) {
      case Readiness::kReadable:
        return true;
      case Readiness::kUnusable:
        RealSleep(static_cast<uint32_t>(left));
        return false;
      case Readiness::kNotYet:
        break;
    }
  }
}

}  // namespace

void YRSLEEP_InTeRnAl(uint32_t milliseconds, const char* file, int line) {
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
  YrSleepHandler handler = CurrentHandler();
  if (!handler) return PollReadable(milliseconds, exitDescriptor);
  handler(milliseconds, file, line);
  return PollOnce(exitDescriptor, 0) == Readiness::kReadable;
}

YrSleepHandler YRSLEEP_SetHandler(YrSleepHandler handler) {
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  std::swap(g_handler, handler);
  return handler;
}
