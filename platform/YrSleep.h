// Blocking sleep, with a seam for tests.
#pragma once

#include <cstdint>
#include <functional>

// Sleep `milliseconds`; `file` and `line` name the caller, for diagnostics.
void YRSLEEP_InTeRnAl(uint32_t milliseconds, const char* file, int line);

// Sleep like YRSLEEP_InTeRnAl, but end early, returning true, once
// `exitDescriptor` (a process's exit descriptor) is readable: the process
// has exited. False after the whole time. An installed handler receives the
// same call as from YRSLEEP_InTeRnAl instead, and the descriptor is only
// looked at afterwards. A descriptor < 0 makes it the plain sleep (false).
bool YRSLEEP_UntilExit(uint32_t milliseconds, int exitDescriptor, const char* file, int line);

// A handler replaces the real sleep for the whole process (tests record or
// shorten sleeps with it). Returns the handler that was installed before;
// an empty handler restores the real sleep.
using YrSleepHandler = std::function<void(uint32_t milliseconds, const char* file, int line)>;
YrSleepHandler YRSLEEP_SetHandler(YrSleepHandler handler);

#define YRSLEEP(milliseconds) YRSLEEP_InTeRnAl((milliseconds), __FILE__, __LINE__)
#define YRSLEEP_UNTIL_EXIT(milliseconds, exitDescriptor) \
  YRSLEEP_UntilExit((milliseconds), (exitDescriptor), __FILE__, __LINE__)
