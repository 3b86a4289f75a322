// What the system tells about any process by its pid (from /proc): enough to
// recognise a process again later, when its pid may have been handed out anew.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ZbProcessInfo {

// The process's start time in clock ticks since boot (field 22 of
// /proc/PID/stat). Together with the pid it names one process for good.
// False when there is no such process.
bool StartTime(pid_t pid, uint64_t* ticks);

// The state letter of /proc/PID/stat ('R', 'S', 'Z' for a zombie...), or 0
// when there is no such process.
char State(pid_t pid);

// The words of the process's command line as it was started (its argument
// vector). False when it cannot be read; a zombie and a kernel thread have
// none. A process caught in the middle of an exec is given up to a second to
// show its new one.
bool CommandWords(pid_t pid, std::vector<std::string>* words);

}  // namespace ZbProcessInfo
