// The library's side of the guardian (see guardian/Guardian.h): a
// controller keeps one running from the first secret it writes into its
// configuration directory, and while its sidecar runs, until nothing is left
// to guard. The guardian of a sidecar drains its output from a pipe; the
// controller keeps the pipe's read end, so that a guardian that dies is
// replaced (noticed at the next call, and within moments by the waits that
// watch it) and the output goes on into the same file.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "YrCancel.h"
#include "ZbProcess.h"
#include "common/ProcessIdentity.h"
#include "supervision/ProcessOwnDescriptor.h"

namespace ZbCassandra {

class Guardianship {
 public:
  Guardianship();
  // Releases the guardian (it leaves the directory as it is); in a child
  // forked from the host it touches nothing.
  ~Guardianship();
  Guardianship(const Guardianship&) = delete;
  Guardianship& operator=(const Guardianship&) = delete;

  // Called with the new guardian's pid each time one replaces another that
  // ended.
  void OnReplaced(std::function<void(pid_t)> replaced) { m_onReplaced = std::move(replaced); }

  // A guardian watches `confDir` from now on: one is started unless one
  // runs. False when none can run (the reason is logged once).
  bool Ensure(const std::string& confDir);

  // A launch: the descriptor the sidecar's output is to go to (the pipe to
  // its guardian, or without a guardian program the file `outputPath`
  // itself; -1 for /dev/null, and `*outputPath` is then emptied). Closed by
  // SidecarStarted() or SidecarEnded().
  int PrepareOutput(const std::string& confDir, std::string* outputPath, uint64_t outputLimit);
  // The sidecar runs: its guardian takes over from whatever guardian ran.
  void SidecarStarted(const ProcessId& sidecar);
  // The sidecar is gone (or never started). Its guardian leaves once its last output is
  // written, which it is when this returns (1 s at most); with
  // `keepGuarding` (secrets are on disk) a guardian of the directory alone
  // takes over first.
  void SidecarEnded(bool keepGuarding);
  // Nothing is left to guard: the guardian leaves, touching nothing.
  void Release();
  // The same, for a guardian of the directory alone (no sidecar runs).
  void ReleaseDirectoryGuard();

  // A guardian that ended is replaced, as long as one is needed; each
  // replacement is logged at level -1.
  void Tend();
  // The guardian that runs now, 0 when none does (never an ended one).
  pid_t Pid() const;
  // That guardian is stopped (SIGSTOP, a debugger): it drains nothing.
  bool Stopped() const;
  // What the library's waits watch while this controller works.
  YrWatch* Watch() { return &m_watch; }

 private:
  enum class Role { kNone, kDirectory, kSidecar };
  // A guardian process and the write end of its lifeline.
  struct Running {
    ZbProcess process;
    ProcessOwnDescriptor lifeline;
  };
  bool Start(Role role, bool appendOutput, std::string* error);
  static void Retire(std::unique_ptr<Running> guardian);
  void UpdateWatch();
  bool Owned() const;

  const pid_t m_owner;
  Role m_role = Role::kNone;
  std::string m_confDir;
  std::string m_program;
  std::string m_output;
  uint64_t m_outputLimit = 0;
  ProcessId m_sidecar;
  std::unique_ptr<Running> m_current;
  ProcessOwnDescriptor m_outputReader;  // kept for a guardian that replaces one
  ProcessOwnDescriptor m_outputWriter;  // the sidecar's, until it has started
  bool m_missingLogged = false;
  std::function<void(pid_t)> m_onReplaced;
  YrWatch m_watch;
};

}  // namespace ZbCassandra
