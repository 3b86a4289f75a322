#include "YrSleep.h"

#include <cerrno>
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

}  // namespace

void YRSLEEP_InTeRnAl(uint32_t milliseconds, const char* file, int line) {
  YrSleepHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    handler = g_handler;
  }
  if (handler) {
    handler(milliseconds, file, line);
  } else {
    RealSleep(milliseconds);
  }
}

YrSleepHandler YRSLEEP_SetHandler(YrSleepHandler handler) {
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  std::swap(g_handler, handler);
  return handler;
}
