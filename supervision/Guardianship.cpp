// The controller's side of the guardian: one runs from the first secret on
// disk and while the sidecar runs, the sidecar's output goes through a pipe
// to it, and one that ends is replaced.
#include "supervision/Guardianship.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "PriamUtil.h"
#include "ZbProcessInfo.h"
#include "common/Boundary.h"
#include "supervision/GuardianProtocol.h"
#include "supervision/SidecarGuardian.h"
#include "supervision/SidecarOutput.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

namespace {

// A released guardian leaves at once, a sidecar's once the pipe is drained:
// within moments. One that takes longer is stopped.
constexpr int kGuardianEndWaitMs = 1000;

}  // namespace

Guardianship::Guardianship() : m_owner(getpid()) {
  m_watch.restore = [this] { Tend(); };
}

Guardianship::~Guardianship() {
  if (Owned()) Release();
}

bool Guardianship::Owned() const { return m_owner == getpid(); }

bool Guardianship::Ensure(const std::string& confDir) {
  Tend();
  if (m_current) return true;
  m_confDir = confDir;
  std::string error;
  if (Start(Role::kDirectory, false, &error)) {
    m_role = Role::kDirectory;
    UpdateWatch();
    return true;
  }
  if (!m_missingLogged) {
    m_missingLogged = true;
    ZB_LOG(-1,
           "The guardian of the Priam configuration directory %s cannot be started (%s): secrets "
           "written there stay on disk if this host dies before they are taken out",
           confDir.c_str(), error.c_str());
  }
  return false;
}

int Guardianship::PrepareOutput(const std::string& confDir, std::string* outputPath,
                                uint64_t outputLimit) {
  m_confDir = confDir;
  m_output = *outputPath;
  m_outputLimit = outputLimit;
  m_outputReader.reset();
  m_outputWriter.reset();
  std::string why;
  if (m_program.empty()) m_program = GuardianProgram(&why);
  if (m_program.empty()) {
    // The output straight into the file, unbounded, and nobody to stop the
    // sidecar if this host dies.
    ZB_LOG(-1,
           "The Priam sidecar's guardian cannot be found (%s): the sidecar will outlive this host "
           "if it dies, and its output is not bounded",
           why.c_str());
    if (outputPath->empty()) return -1;
    // A fresh file, the previous one kept: a relaunch keeps a crash's words.
    std::string error;
    m_outputWriter.reset(OpenSidecarOutput(*outputPath, &error));
    if (m_outputWriter.get() < 0) {
      ZB_LOG(-1, "Failed to prepare the Priam sidecar's output file: %s", error.c_str());
      outputPath->clear();
    }
    return m_outputWriter.get();
  }
  // The guardian starts the file, keeping the previous two.
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  m_outputReader.reset(ends[0]);
  m_outputWriter.reset(ends[1]);
  return ends[1];
}

void Guardianship::SidecarStarted(const ProcessId& sidecar) {
  m_sidecar = sidecar;
  std::unique_ptr<Running> previous = std::move(m_current);
  m_role = Role::kSidecar;
  std::string error;
  if (m_outputReader.get() >= 0 && !Start(Role::kSidecar, false, &error)) {
    ZB_LOG(-1, "Failed to start the Priam sidecar's guardian: %s", error.c_str());
  }
  // The write end is the sidecar's now: the guardian sees the end of the
  // output once the sidecar and all it started are gone.
  m_outputWriter.reset();
  if (previous) Retire(std::move(previous));
  UpdateWatch();
}

void Guardianship::SidecarEnded(bool keepGuarding) {
  m_outputWriter.reset();
  if (m_role != Role::kSidecar) {
    m_outputReader.reset();
    return;
  }
  std::unique_ptr<Running> previous = std::move(m_current);
  m_role = Role::kNone;
  m_sidecar = ProcessId();
  // The secrets are never unguarded: the new guardian runs before the old
  // one leaves.
  std::string error;
  if (keepGuarding && Start(Role::kDirectory, false, &error)) m_role = Role::kDirectory;
  if (previous) Retire(std::move(previous));
  m_outputReader.reset();
  UpdateWatch();
}

void Guardianship::Release() {
  std::unique_ptr<Running> previous = std::move(m_current);
  m_role = Role::kNone;
  if (previous) Retire(std::move(previous));
  m_outputReader.reset();
  m_outputWriter.reset();
  UpdateWatch();
}

void Guardianship::ReleaseDirectoryGuard() {
  if (m_role == Role::kDirectory) Release();
}

void Guardianship::Tend() {
  if (!Owned() || !m_current) return;
  int status = 0;
  bool known = false;
  if (!m_current->process.HasExited(&status, &known)) return;
  const pid_t ended = m_current->process.GetChildPid();
  m_current->process.Reap(false);
  m_current.reset();
  const std::string how = ZbProcess::DescribeExit(status, known);
  // It goes on where the last one stopped: the same sidecar, the rest of its
  // output, the same file.
  std::string error;
  if (Start(m_role, m_role == Role::kSidecar, &error)) {
    const pid_t replacement = m_current->process.GetChildPid();
    ZB_LOG(-1, "The Priam sidecar's guardian (process %d) ended (%s); process %d replaces it",
           ended, how.c_str(), replacement);
    UpdateWatch();
    if (m_onReplaced) m_onReplaced(replacement);
    return;
  }
  ZB_LOG(-1, "The Priam sidecar's guardian (process %d) ended (%s) and cannot be replaced: %s",
         ended, how.c_str(), error.c_str());
  UpdateWatch();
}

pid_t Guardianship::Pid() const {
  if (!m_current || m_current->process.HasExited(nullptr, nullptr)) return 0;
  return m_current->process.GetChildPid();
}

bool Guardianship::Stopped() const {
  const pid_t guardian = Pid();
  return guardian > 0 && ZbProcessInfo::IsStopped(guardian);
}

bool Guardianship::Start(Role role, bool appendOutput, std::string* error) {
  if (role == Role::kNone) return false;
  std::string why;
  if (m_program.empty()) m_program = GuardianProgram(&why);
  if (m_program.empty()) {
    *error = why;
    return false;
  }
  // A socket pair, not a pipe: a release written to a guardian that has just
  // died must not raise SIGPIPE in the host.
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    *error = std::string("cannot create its lifeline: ") + strerror(errno);
    return false;
  }
  GuardianOptions options;
  options.host = ThisProcess();
  if (role == Role::kSidecar) {
    options.sidecar = m_sidecar;
    options.output = m_output;
    options.appendOutput = appendOutput;
  }
  options.confDir = m_confDir;
  options.outputLimit = m_outputLimit > 0 ? m_outputLimit : SidecarOutputLimit();
  options.lifeline = kGuardianLifelineDescriptor;
  std::vector<std::string> argv = GuardianArguments(options);
  argv.insert(argv.begin(), m_program);

  std::unique_ptr<Running> guardian(new Running());
  guardian->process.SetSilence(true);
  if (role == Role::kSidecar) guardian->process.SetInputDescriptor(m_outputReader.get());
  // A session of its own: a terminal's Ctrl-C or hang-up for the host, or a
  // whole session killed, is not its business; it outlives all of them.
  guardian->process.SetOwnSession(true);
  guardian->process.SetPassedDescriptor(ends[1]);
  const bool started = guardian->process.StartProgram(argv, error);
  close(ends[1]);
  if (!started) {
    close(ends[0]);
    return false;
  }
  guardian->lifeline.reset(ends[0]);
  m_current = std::move(guardian);
  return true;
}

void Guardianship::Retire(std::unique_ptr<Running> guardian) {
  const ssize_t written = send(guardian->lifeline.get(), kGuardianRelease,
                               sizeof(kGuardianRelease) - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
  (void)written;  // one that has died needs no release
  guardian->lifeline.reset();
  if (!guardian->process.ReapWithin(kGuardianEndWaitMs)) {
    guardian->process.SignalGroup(SIGKILL);
    guardian->process.Signal(SIGKILL);
    guardian->process.ReapWithin(kGuardianEndWaitMs);
  }
}

void Guardianship::UpdateWatch() {
  m_watch.descriptor = m_current ? m_current->process.ExitDescriptor() : -1;
  m_watch.process = m_current ? m_current->process.GetChildPid() : 0;
}

// The controller's calls.

int PriamUtil::prepareSidecarOutput() {
  SidecarSupervision& supervision = sidecarSupervision();
  supervision.outputPath = SidecarOutputPath(m_priamConfDir);
  return supervision.guardianship.PrepareOutput(m_priamConfDir, &supervision.outputPath,
                                                SidecarOutputLimit());
}

void PriamUtil::startGuardian() {
  if (!m_process || m_process->GetChildPid() <= 0) return;
  ProcessId sidecar;
  sidecar.pid = m_process->GetChildPid();
  ZbProcessInfo::StartTime(sidecar.pid, &sidecar.startTime);
  sidecarSupervision().guardianship.SidecarStarted(sidecar);
}

pid_t PriamUtil::guardianPid() const {
  return m_supervision ? sidecarSupervision().guardianship.Pid() : 0;
}

void PriamUtil::endGuardian() {
  sidecarSupervision().guardianship.SidecarEnded(sidecarSupervision().secretsPending);
}

}  // namespace ZbCassandra
