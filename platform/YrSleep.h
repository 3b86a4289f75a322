// Blocking sleep, with a seam for tests.
#pragma once

#include <cstdint>
#include <functional>

// Sleep `milliseconds`; `file` and `line` name the caller, for diagnostics.
void YRSLEEP_InTeRnAl(uint32_t milliseconds, const char* file, int line);

// A handler replaces the real sleep for the whole process (tests record or
// shorten sleeps with it). Returns the handler that was installed before;
// an empty handler restores the real sleep.
using YrSleepHandler = std::function<void(uint32_t milliseconds, const char* file, int line)>;
YrSleepHandler YRSLEEP_SetHandler(YrSleepHandler handler);

#define YRSLEEP(milliseconds) YRSLEEP_InTeRnAl((milliseconds), __FILE__, __LINE__)
