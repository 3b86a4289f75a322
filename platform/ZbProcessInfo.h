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

// The state letter of /proc/PID/stat ('R', 'S', 'T' when stopped, 'Z' for a
// zombie...), or 0 when there is no such process.
char State(pid_t pid);

// The process is stopped: by a signal (SIGSTOP, SIGTSTP; state 'T') or by a
// tracer (state 't'). It runs no code until it is continued.
bool IsStopped(pid_t pid);

// What /proc/PID/stat tells in one read.
struct Status {
  char state = 0;
  pid_t parent = 0;
  pid_t group = 0;  // the process group
  uint64_t startTime = 0;
  uint32_t threads = 0;  // its tasks, as the kernel counts them
};
// False when there is no such process.
bool ReadStatus(pid_t pid, Status* status);

// The process `pid` still runs (it exists and is not a zombie) and is the
// one that started at `startTime`.
bool IsRunning(pid_t pid, uint64_t startTime);

// The words of the process's command line as it was started (its argument
// vector). False when it cannot be read; a zombie and a kernel thread have
// none. A process caught in the middle of an exec is given up to a second to
// show its new one.
bool CommandWords(pid_t pid, std::vector<std::string>* words);

// One read of the command line, its words separated by NULs, as it stands
// now: empty for a kernel thread, a zombie, or a process in the middle of an
// exec. False when there is no such process.
bool RawCommandLine(pid_t pid, std::string* line);

// The words of a command line or an environment as /proc gives them,
// separated by NULs.
std::vector<std::string> NulSeparatedWords(const std::string& text);

// The process is a kernel thread (it never has a command line).
bool IsKernelThread(pid_t pid);

// The value of the environment variable `name` that the process started
// with. False when it has none, or its environment cannot be read (another
// user's process, unless we are root).
bool EnvironmentValue(pid_t pid, const std::string& name, std::string* value);

// The inode of the process's pid namespace (/proc/PID/ns/pid reads
// "pid:[N]"), of this process when `pid` is 0; two processes are in the
// same pid namespace when these are equal. 0 when it cannot be told.
uint64_t PidNamespace(pid_t pid);

// The process's pid in its own pid namespace (the last number of the
// "NSpid:" line of /proc/PID/status): the one it would call itself by. 0
// when it cannot be told.
pid_t PidInOwnNamespace(pid_t pid);

// The pids of every process on the system now, threads aside.
std::vector<pid_t> AllProcesses();

// The wait status (as waitpid would report it) that a zombie keeps for its
// parent, field 52 of /proc/PID/stat. False for a process that is no
// zombie, or that is not the one that started at `startTime`.
bool ZombieExitStatus(pid_t pid, uint64_t startTime, int* status);

// What a process group holds now: its processes (zombies aside), their
// threads (the tasks systemd counts), and their resident memory together,
// in bytes (shared pages counted for each).
struct GroupUsage {
  uint32_t processes = 0;
  uint32_t threads = 0;
  uint64_t residentBytes = 0;
};
// A scan of the process table. False when no process of the group runs.
bool UsageOfGroup(pid_t group, GroupUsage* usage);

// The moment a process started `ticks` after boot (as StartTime gives it),
// in seconds since the epoch. False when the boot time cannot be read.
bool StartedAt(uint64_t ticks, int64_t* seconds);

}  // namespace ZbProcessInfo
