#include "ownership/SidecarScan.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "YrCancel.h"
#include "ZbProcessInfo.h"
#include "ownership/HostLiveness.h"
#include "ownership/SidecarRecord.h"

namespace ZbCassandra {

namespace {

constexpr const char kMainClass[] = "jerseyserve.server";
constexpr const char kConfigWordPrefix[] = "-Dzbpriam.config.file=";

// A process caught between its exec and the layout of its new arguments
// reads an empty command line for a moment; a loaded machine stretches it.
constexpr auto kExecSettleWait = std::chrono::seconds(1);
constexpr auto kExecSettlePoll = std::chrono::milliseconds(2);
// SIGKILL ends a process within moments; a few seconds cover a loaded host.
constexpr auto kEndWait = std::chrono::seconds(5);
constexpr auto kEndPoll = std::chrono::milliseconds(10);

bool SameDirectory(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && S_ISDIR(first.st_mode) &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The directory a "-Dzbpriam.config.file=" word of process `pid` names. A
// relative one is taken from that process's working directory, not ours.
std::string ConfigDirectoryOf(pid_t pid, const std::string& word) {
  const std::string directory = word.substr(sizeof(kConfigWordPrefix) - 1);
  if (!directory.empty() && directory[0] == '/') return directory;
  return "/proc/" + std::to_string(pid) + "/cwd/" + directory;
}

// Judges the hosts that a directory's sidecars name: the host of the
// record as the record says, with its lock (judged once), any other by its
// pid and start time, or by the directory's lock when it cannot be seen.
class HostJudge {
 public:
  explicit HostJudge(const std::string& confDir) : m_lockPath(LockFilePath(confDir)) {
    m_recordRead = ReadSidecarRecord(confDir, &m_record) == RecordRead::kRead && m_record.host > 0;
  }

  void Judge(SidecarProcess* sidecar) {
    const HostIdentity stamp = {sidecar->host.pid, sidecar->host.startTime,
                                sidecar->hostPidNamespace};
    sidecar->recordedHost = m_recordRead && SameHost(stamp, RecordedHost(m_record));
    Liveness liveness;
    if (sidecar->recordedHost) {
      if (!m_recordJudged) m_recorded = JudgeHost(stamp, RecordedLock(m_record), m_lockPath);
      m_recordJudged = true;
      liveness = m_recorded;
    } else {
      liveness = JudgeHost(stamp, LockIdentity(), m_lockPath);
    }
    sidecar->hostAlive = liveness.alive;
    sidecar->hostElsewhere = liveness.elsewhere;
    sidecar->hostHere = liveness.pidHere;
  }

 private:
  const std::string m_lockPath;
  SidecarRecord m_record;
  bool m_recordRead = false;
  bool m_recordJudged = false;
  Liveness m_recorded;
};

// What a process with this command line is for `confDir`: added to
// `found` when it is one of its sidecars.
void Consider(pid_t pid, const std::string& line, const std::string& confDir, HostJudge* judge,
              std::vector<SidecarProcess>* found) {
  // Most processes are ruled out without splitting their command line.
  if (line.find(kMainClass) == std::string::npos) return;
  if (!IsSidecarLaunchFor(ZbProcessInfo::NulSeparatedWords(line), pid, confDir)) return;
  ZbProcessInfo::Status status;
  if (!ZbProcessInfo::ReadStatus(pid, &status) || status.state == 'Z' || status.state == 'X') {
    return;
  }
  SidecarProcess sidecar;
  sidecar.process = {pid, status.startTime};
  sidecar.group = status.group;
  std::string stamp;
  if (ZbProcessInfo::EnvironmentValue(pid, kHostVariable, &stamp) &&
      ParseHostStamp(stamp, &sidecar.host)) {
    sidecar.hostPidNamespace = ZbProcessInfo::PidNamespace(pid);
    judge->Judge(&sidecar);
  }
  found->push_back(sidecar);
}

// Still to be looked at again: an empty command line that is not a kernel
// thread's or a zombie's belongs to a process in the middle of its exec.
bool MayStillExec(pid_t pid) {
  const char state = ZbProcessInfo::State(pid);
  return state != 0 && state != 'Z' && state != 'X' && !ZbProcessInfo::IsKernelThread(pid);
}

#ifdef SYS_pidfd_open
int OpenPidDescriptor(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }
#else
int OpenPidDescriptor(pid_t) {
  errno = ENOSYS;
  return -1;
}
#endif

// SIGKILL to `sidecar` (and its group when it leads one), only while the
// pid is still that process: checked after a descriptor of the process is
// held, which keeps its pid from being handed out again.
int Kill(const SidecarProcess& sidecar) {
  const pid_t pid = sidecar.process.pid;
  const int descriptor = OpenPidDescriptor(pid);
  int code = 0;
  if (!ZbProcessInfo::IsRunning(pid, sidecar.process.startTime)) {
    code = 0;  // already gone
  } else if (sidecar.group == pid && kill(-pid, SIGKILL) == 0) {
    code = 0;
  } else {
#ifdef SYS_pidfd_send_signal
    if (descriptor >= 0 && syscall(SYS_pidfd_send_signal, descriptor, SIGKILL, nullptr, 0) == 0) {
      close(descriptor);
      return 0;
    }
#endif
    code = kill(pid, SIGKILL) == 0 || errno == ESRCH ? 0 : errno;
  }
  if (descriptor >= 0) close(descriptor);
  return code;
}

}  // namespace

bool IsSidecarLaunchFor(const std::vector<std::string>& words, pid_t pid,
                        const std::string& confDir) {
  if (std::find(words.begin(), words.end(), kMainClass) == words.end()) return false;
  return std::any_of(words.begin(), words.end(), [&](const std::string& word) {
    return word.compare(0, sizeof(kConfigWordPrefix) - 1, kConfigWordPrefix) == 0 &&
           SameDirectory(ConfigDirectoryOf(pid, word), confDir);
  });
}

std::vector<SidecarProcess> FindSidecars(const std::string& confDir) {
  std::vector<SidecarProcess> found;
  std::vector<pid_t> inExec;
  HostJudge judge(confDir);
  const pid_t self = getpid();
  std::string line;
  for (const pid_t pid : ZbProcessInfo::AllProcesses()) {
    if (pid == self || !ZbProcessInfo::RawCommandLine(pid, &line)) continue;
    if (!line.empty()) {
      Consider(pid, line, confDir, &judge, &found);
    } else if (MayStillExec(pid)) {
      inExec.push_back(pid);
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + kExecSettleWait;
  while (!inExec.empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kExecSettlePoll);
    std::vector<pid_t> still;
    for (const pid_t pid : inExec) {
      if (!ZbProcessInfo::RawCommandLine(pid, &line)) continue;
      if (!line.empty()) {
        Consider(pid, line, confDir, &judge, &found);
      } else if (MayStillExec(pid)) {
        still.push_back(pid);
      }
    }
    inExec.swap(still);
  }
  return found;
}

bool StopSidecars(const std::vector<SidecarProcess>& sidecars, std::string* failure) {
  for (const SidecarProcess& sidecar : sidecars) {
    const int code = Kill(sidecar);
    if (code != 0) {
      *failure = "Failed to stop the Priam sidecar (process " +
                 std::to_string(sidecar.process.pid) + "): " + strerror(code);
      return false;
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + kEndWait;
  for (const SidecarProcess& sidecar : sidecars) {
    // A zombie no longer counts: its parent collects it in its own time.
    while (ZbProcessInfo::IsRunning(sidecar.process.pid, sidecar.process.startTime)) {
      const bool late = std::chrono::steady_clock::now() >= deadline;
      // Killed already, it ends without us; a cancelled caller need not
      // watch it go.
      if (!late) YRCANCEL_Poll(nullptr, 0, static_cast<int>(kEndPoll.count()));
      const bool cancelled = !late && YRCANCEL_Requested();
      if (late || cancelled) {
        *failure = "The Priam sidecar (process " + std::to_string(sidecar.process.pid) +
                   ") has not ended" + (cancelled ? " (its wait was cancelled)" : "");
        return false;
      }
    }
  }
  return true;
}

}  // namespace ZbCassandra
