// The controller's side of the guardian: the sidecar's output goes through
// a pipe to it, it is started right after the sidecar, and it ends with it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "Boundary.h"
#include "GuardianOptions.h"
#include "PriamUtil.h"
#include "SidecarGuardian.h"
#include "SidecarOutput.h"
#include "SidecarScan.h"
#include "Supervision.h"
#include "ZbProcess.h"
#include "ZbProcessInfo.h"

namespace ZbCassandra {

namespace {

// What is left in the pipe once the sidecar is gone is written within
// moments; a guardian that takes longer is stopped.
constexpr int kGuardianEndWaitMs = 1000;

void CloseQuietly(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

int PriamUtil::prepareSidecarOutput() {
  Supervision& supervision = *m_supervision;
  CloseQuietly(supervision.outputReader);
  CloseQuietly(supervision.outputWriter);
  supervision.outputPath = SidecarOutputPath(m_priamConfDir);
  std::string why;
  supervision.guardianProgram = GuardianProgram(&why);
  if (supervision.guardianProgram.empty()) {
    // The output straight into the file, unbounded, and nobody to stop the
    // sidecar if this host dies.
    ZB_LOG(-1,
           "The Priam sidecar's guardian cannot be found (%s): the sidecar will outlive this host "
           "if it dies, and its output is not bounded",
           why.c_str());
    if (supervision.outputPath.empty()) return -1;
    // A fresh file, the previous one kept: a relaunch keeps a crash's words.
    std::string error;
    supervision.outputWriter = OpenSidecarOutput(supervision.outputPath, &error);
    if (supervision.outputWriter < 0) {
      ZB_LOG(-1, "Failed to prepare the Priam sidecar's output file: %s", error.c_str());
      supervision.outputPath.clear();
    }
    return supervision.outputWriter;
  }
  // The guardian starts the file, keeping the previous two.
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  supervision.outputReader = ends[0];
  supervision.outputWriter = ends[1];
  return ends[1];
}

void PriamUtil::startGuardian() {
  Supervision& supervision = *m_supervision;
  if (!supervision.guardianProgram.empty() && m_process && m_process->GetChildPid() > 0) {
    GuardianOptions options;
    options.host = ThisProcess();
    options.sidecar.pid = m_process->GetChildPid();
    ZbProcessInfo::StartTime(options.sidecar.pid, &options.sidecar.startTime);
    options.confDir = m_priamConfDir;
    options.output = supervision.outputPath;
    options.outputLimit = SidecarOutputLimit();
    std::vector<std::string> argv = GuardianArguments(options);
    argv.insert(argv.begin(), supervision.guardianProgram);
    supervision.guardian.reset(new ZbProcess());
    supervision.guardian->SetSilence(true);
    supervision.guardian->SetInputDescriptor(supervision.outputReader);
    // Its own group: a terminal's Ctrl-C for the host is not its business.
    supervision.guardian->SetOwnProcessGroup(true);
    std::string error;
    if (!supervision.guardian->StartProgram(argv, &error)) {
      ZB_LOG(-1, "Failed to start the Priam sidecar's guardian: %s", error.c_str());
      supervision.guardian.reset();
    }
  }
  // The two ends are the sidecar's and the guardian's now: the guardian
  // sees the end of the output once the sidecar and all it started are gone.
  CloseQuietly(supervision.outputReader);
  CloseQuietly(supervision.outputWriter);
}

pid_t PriamUtil::guardianPid() const {
  return m_supervision && m_supervision->guardian ? m_supervision->guardian->GetChildPid() : 0;
}

void PriamUtil::endGuardian() {
  Supervision& supervision = *m_supervision;
  CloseQuietly(supervision.outputReader);
  CloseQuietly(supervision.outputWriter);
  if (!supervision.guardian) return;
  // It ends by itself once the sidecar's output is written.
  if (!supervision.guardian->ReapWithin(kGuardianEndWaitMs)) {
    supervision.guardian->SignalGroup(SIGKILL);
    supervision.guardian->Signal(SIGKILL);
    supervision.guardian->ReapWithin(kGuardianEndWaitMs);
  }
}

}  // namespace ZbCassandra
