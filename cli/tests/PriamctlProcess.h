// priamctl run as a separate process, the way a user runs it: its output
// captured in files, its exit code and its children observable.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TempDir.h"

namespace clitest {

struct Outcome {
  int exitCode = -1;  // 128 + N when killed by signal N
  std::string out;
  std::string err;
};

class PriamctlProcess {
 public:
  // Starts priamctl with `args`; `env` is added to this process's
  // environment. stdin is /dev/null. `launcher`, when given, is a command
  // (found on PATH) that runs priamctl: its words come first.
  explicit PriamctlProcess(const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env = {},
                           const std::vector<std::string>& launcher = {});
  ~PriamctlProcess();  // kills a process that still runs

  pid_t pid() const { return m_pid; }
  std::string Out() const;
  std::string Err() const;
  // Waits up to `seconds`; on time-out the process is killed and the
  // outcome's exit code is -1.
  Outcome Wait(int seconds = 120);

 private:
  testsupport::TempDir m_capture;
  pid_t m_pid = -1;
};

Outcome RunPriamctl(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {},
                    const std::vector<std::string>& launcher = {});

// The pids whose parent is `parent` and whose command line holds `running`,
// from /proc.
std::vector<pid_t> ChildrenOf(pid_t parent, const std::string& running = "");
// What priamctl starts: its sidecar, and the guardian beside it.
constexpr const char kSidecarProgram[] = "jerseyserve.server";
constexpr const char kGuardianProgram[] = "zbpriam-guardian";
// True when a live (not zombie) process has the sidecar option naming
// `confDir` on its command line: a sidecar a test started, left behind.
bool SidecarRunsFor(const std::string& confDir);
// Polls `condition` every 20 ms for up to `seconds`.
bool WaitUntil(const std::function<bool()>& condition, int seconds);

}  // namespace clitest
