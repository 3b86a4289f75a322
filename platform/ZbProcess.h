// Child processes: shell commands that are waited for, and one background
// child per object.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ZbProcess {
 public:
  // Commands given 0 as their time-out get this many seconds.
  static constexpr int kDefaultTimeoutSeconds = 120;

  ZbProcess() = default;
  // Reaps a child that has already exited; a running child is left alone
  // (its owner decides when to stop it).
  ~ZbProcess();
  ZbProcess(const ZbProcess&) = delete;
  ZbProcess& operator=(const ZbProcess&) = delete;

  // Run `command` and wait for it. With `useShell` it runs under
  // "/bin/sh -c" (pipelines, quoting); without, it is split at blanks and
  // the first word is looked up on PATH, with no shell involved. Standard
  // output and error go to `*output` and `*error` (either may be null),
  // read together so that neither pipe can fill up and stall the command.
  // A command still running after `timeoutSeconds` (0: the default) is
  // killed with its whole process group, and so is one whose thread is
  // cancelled meanwhile (YrCancel.h; a command is not even started once it
  // is). Returns 0 when the command ran and exited with status 0; its
  // non-zero exit status, 128 + a terminating signal, or -1 when it could
  // not be run, timed out or was cancelled (the reason is then appended to
  // `*error`: "command timed out after N s", "command cancelled"). A command whose exit status was
  // lost to the host (one that ignores SIGCHLD or reaps every child itself) is judged by its
  // output: 0 is returned, so that callers take a non-empty output as the
  // answer and an empty one as "nothing found", as they do for a command
  // that failed; a note says so in the log (level 0), never in `*error`,
  // which holds only what the command wrote. The command sees the
  // host's environment without the variables that change what the tools
  // print (COLUMNS, LINES, PS_*, POSIXLY_CORRECT, GREP_OPTIONS and the
  // like) and with LC_ALL=C, so that its output does not depend on how the
  // host was started.
  static int system(const std::string& command, std::string* output, std::string* error,
                    int timeoutSeconds, bool useShell);

  // Silent children get /dev/null as standard input, output and error.
  void SetSilence(bool silent) { m_silent = silent; }

  // With `fd` >= 0, children get /dev/null as standard input and `fd` as
  // both standard output and error, silent or not. The caller keeps `fd`
  // (open it close-on-exec; it may close it once the child has started).
  // -1 gives back the behaviour SetSilence chose.
  void SetOutputDescriptor(int fd) { m_outputFd = fd; }
  // With `fd` >= 0, children get `fd` as standard input (the caller keeps
  // it, as for SetOutputDescriptor); -1 gives back /dev/null or the host's.
  void SetInputDescriptor(int fd) { m_inputFd = fd; }

  // Children start as the leader of a process group of their own (its id is
  // their pid): a terminal's Ctrl-C or hang-up, meant for the host, does not
  // reach them, and SignalGroup() reaches whatever they start in turn.
  void SetOwnProcessGroup(bool own) { m_ownGroup = own; }

  // Children start in a session of their own (and so a process group of
  // their own): a signal a host's session or terminal gets (a whole session
  // killed, a hang-up) does not reach them.
  void SetOwnSession(bool own) { m_ownSession = own; }

  // With `fd` >= 0, children get `fd` as their descriptor 3 as well (the
  // caller keeps it, as for SetOutputDescriptor); -1: none beyond 0-2.
  void SetPassedDescriptor(int fd) { m_passedFd = fd; }

  // "NAME=value" entries added to the environment children get from the
  // host, each replacing the host's variable of that name.
  void SetExtraEnvironment(const std::vector<std::string>& entries) { m_extraEnv = entries; }

  // Start `program` in the background with `arguments` split at blanks
  // (empty words dropped) as its argument vector, the first word being the
  // program's own name. No shell is involved, so no character of the
  // arguments is special. The child inherits no descriptor beyond 0-2 (and
  // the passed one), an
  // empty signal mask and default signal handlers. `reserved` must be 0.
  // False, with the reason in `*error`, when the program cannot be started
  // or this object already has a child that was not reaped.
  bool StartProcess(const std::string& program, const std::string& arguments, std::string* error,
                    int reserved);

  // Start the program argv[0] (looked up on PATH) with exactly `argv`, as
  // StartProcess does otherwise: a word may hold blanks.
  bool StartProgram(const std::vector<std::string>& argv, std::string* error);

  // The child's pid, or 0 when there is none (never started, or reaped).
  pid_t GetChildPid() const { return m_pid; }

  // True once the started child has exited, whether it was reaped yet or
  // not, by Reap() or by the host. Never reaps. `*status` (as waitpid
  // reports it) and `*statusKnown` describe the exit; the status is unknown
  // when the host ignores SIGCHLD or reaped the child itself. False when no
  // child was started or it still runs. Either pointer may be null.
  bool HasExited(int* status, bool* statusKnown) const;

  // A descriptor that becomes readable once the child has exited, for
  // poll(); -1 when there is none (no child, or a kernel without pidfds).
  // Owned by this object and valid until the next start or its destruction.
  int ExitDescriptor() const { return m_exitFd; }

  // "exit status 3", "killed by signal 9 (SIGKILL)", or for an unknown
  // status "exit status unknown (reaped elsewhere)".
  static std::string DescribeExit(int status, bool statusKnown);

  // Send `signal` to the child. Never reaches another process that was
  // handed the pid after the child was reaped elsewhere (on kernels with
  // pidfds). Returns 0 or the errno: ESRCH once the child has exited or
  // when there is none.
  int Signal(int signal);

  // Send `signal` to every process of the child's own process group
  // (SetOwnProcessGroup), the child included. Only while the child has not
  // been reaped: its pid, and so the group's id, cannot belong to anyone
  // else then. Returns 0 or the errno: ESRCH when the child was reaped or
  // the group is gone, EINVAL when the child has no group of its own.
  int SignalGroup(int signal);

  // Collect the child's exit status once it has exited. With `wait`, block
  // until it exits; otherwise return false at once while it still runs.
  // True when the child is reaped (or there was none): GetChildPid() then
  // gives 0, so the old pid, which the system may reuse, is never signalled.
  // A child the host reaped first counts as reaped, its status unknown.
  bool Reap(bool wait);
  // Reap(true), waiting `milliseconds` at most: false when the child still
  // runs then (a process in an uninterruptible sleep outlives even SIGKILL
  // for a while).
  bool ReapWithin(int milliseconds);

  // The exit status from the last Reap(), as waitpid reports it; 0 when
  // ExitStatusKnown() is false.
  int ExitStatus() const { return m_status; }
  // False when the last Reap() found the child already reaped by the host.
  bool ExitStatusKnown() const { return m_statusKnown; }

 private:
  bool Start(const std::string& program, std::vector<std::string> words, std::string* error);
  void ForgetChild();
  void SeeExit(int status, bool statusKnown) const;

  bool m_silent = false;
  int m_outputFd = -1;
  int m_inputFd = -1;
  bool m_ownGroup = false;
  bool m_ownSession = false;
  int m_passedFd = -1;
  bool m_groupStarted = false;  // the current child leads its own group
  std::vector<std::string> m_extraEnv;
  pid_t m_pid = 0;
  // The child's pidfd, or a stand-in that is always readable when the child
  // was gone before a pidfd could be opened; -1 without either.
  int m_exitFd = -1;
  // What is known of the exit, remembered by the first look that saw it:
  // the host may reap the child between two looks.
  mutable bool m_exited = false;
  mutable int m_status = 0;
  mutable bool m_statusKnown = false;
};
