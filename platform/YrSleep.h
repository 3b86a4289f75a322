// Blocking sleep, with a seam for tests.
#pragma once

#include <cstdint>
#include <functional>

// Sleep `milliseconds`; `file` and `line` name the caller, for diagnostics.
// The sleep ends early once the calling thread's cancel descriptor
// (YrCancel.h) is readable; once it is, neither a sleep nor a handler runs.
void YRSLEEP_InTeRnAl(uint32_t milliseconds, const char* file, int line);

// Sleep like YRSLEEP_InTeRnAl, but end early, returning true, once
// `exitDescriptor` (a process's exit descriptor) is readable: the process
// has exited. False after the whole time, or at a cancel. An installed
// handler receives the same call as from YRSLEEP_InTeRnAl instead, and the
// descriptor is only looked at afterwards. A descriptor < 0 makes it the
// plain sleep (false).
bool YRSLEEP_UntilExit(uint32_t milliseconds, int exitDescriptor, const char* file, int line);

// A handler replaces the real sleep for the whole process (tests record or
// shorten sleeps with it). Returns the handler that was installed before;
// an empty handler restores the real sleep. A handler's sleep is its own: a
// cancel is seen once it returns.
using YrSleepHandler = std::function<void(uint32_t milliseconds, const char* file, int line)>;
YrSleepHandler YRSLEEP_SetHandler(YrSleepHandler handler);

// The platform's own sleep, whatever handler is installed: for a handler
// that only watches the sleeps go by. Called from a handler, it ends early
// as the call the handler stands in for would have (the exit descriptor
// given to YRSLEEP_UntilExit, the thread's cancel descriptor).
void YRSLEEP_Unhandled(uint32_t milliseconds);

#define YRSLEEP(milliseconds) YRSLEEP_InTeRnAl((milliseconds), __FILE__, __LINE__)
#define YRSLEEP_UNTIL_EXIT(milliseconds, exitDescriptor) \
  YRSLEEP_UntilExit((milliseconds), (exitDescriptor), __FILE__, __LINE__)
