#include "DirectoryClaim.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <utility>

#include "CYrPath.h"
#include "ZbProcessInfo.h"

namespace ZbCassandra {

namespace {

// SIGKILL ends a process within moments; a few seconds cover a loaded host.
constexpr auto kOrphanEndWait = std::chrono::seconds(5);
// The holder of a lock writes its record right after taking it.
constexpr auto kHolderRecordWait = std::chrono::seconds(1);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

constexpr const char kLockFailure[] = "Failed to lock the Priam configuration directory: ";

using DirectoryId = std::pair<dev_t, ino_t>;

// The process's claims. Never destroyed: a controller that a host destroys
// from a static destructor may still let go of its claim. Recursive, since a
// claim dropped while the table is in use (an allocation failing half-way)
// takes it again to leave.
std::recursive_mutex& TableMutex() {
  static auto* mutex = new std::recursive_mutex();
  return *mutex;
}
std::map<DirectoryId, std::weak_ptr<DirectoryClaim>>& Table() {
  static auto* table = new std::map<DirectoryId, std::weak_ptr<DirectoryClaim>>();
  return *table;
}

bool IsAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

std::string InDirectory(const std::string& confDir, const char* name) {
  return CYrPath::Append(confDir.c_str(), name).str();
}

// The host named by the record of a lock that is held elsewhere, waiting a
// moment for a holder that has only just taken it; 0 when none is named.
SidecarRecord HolderRecord(const std::string& confDir, bool wait) {
  const std::string path = InDirectory(confDir, kSidecarRecordFileName);
  const auto deadline = std::chrono::steady_clock::now() + kHolderRecordWait;
  for (;;) {
    SidecarRecord record;
    if (ReadSidecarRecord(path, &record) && IsAlive(record.host)) return record;
    if (!wait || std::chrono::steady_clock::now() >= deadline) return SidecarRecord();
    std::this_thread::sleep_for(kPollInterval);
  }
}

bool WaitForEnd(const SidecarRecord& sidecar, const std::string& confDir) {
  const auto deadline = std::chrono::steady_clock::now() + kOrphanEndWait;
  // A zombie no longer counts: its new parent collects it in its own time.
  while (IsRecordedSidecarRunning(sidecar, confDir)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

// Nobody holds the directory, so a sidecar still running from it was left
// by a host that died: stop it before anything is written under it.
bool StopOrphan(const std::string& confDir, ClaimResult* result) {
  SidecarRecord orphan;
  if (!ReadSidecarRecord(InDirectory(confDir, kSidecarRecordFileName), &orphan) ||
      !IsRecordedSidecarRunning(orphan, confDir)) {
    return true;
  }
  result->stoppedOrphan = orphan.sidecar;
  return DirectoryClaim::StopSidecar(orphan, confDir, &result->orphanEnded, &result->failure);
}

// The last controller let go of `claim`. Its entry goes only once the lock is
// free, so that no other controller of the process takes its own lock for
// ours.
void Release(const DirectoryId& id, DirectoryClaim* claim) {
  std::lock_guard<std::recursive_mutex> guard(TableMutex());
  delete claim;
  Table().erase(id);
}

}  // namespace

ClaimResult DirectoryClaim::Acquire(const std::string& confDir) {
  ClaimResult result;
  struct stat info;
  if (stat(confDir.c_str(), &info) != 0) {
    result.failure = std::string(kLockFailure) + confDir + ": " + strerror(errno);
    return result;
  }
  const DirectoryId id(info.st_dev, info.st_ino);
  std::unique_lock<std::recursive_mutex> guard(TableMutex());
  for (auto found = Table().find(id); found != Table().end(); found = Table().find(id)) {
    result.claim = found->second.lock();
    if (result.claim) {
      result.outcome = ClaimResult::kClaimed;
      return result;
    }
    // The last holder is letting go right now; its entry goes once the lock
    // is free.
    guard.unlock();
    std::this_thread::yield();
    guard.lock();
  }
  std::unique_ptr<ZbFileLock> lock(new ZbFileLock());
  bool heldElsewhere = false;
  const CYrError locked = lock->TryLock(InDirectory(confDir, kSidecarLockFileName), &heldElsewhere);
  if (heldElsewhere) {
    result.outcome = ClaimResult::kHeldElsewhere;
    const SidecarRecord holder = HolderRecord(confDir, true);
    result.holder = holder.host;
    if (IsRecordedSidecarRunning(holder, confDir)) result.holderSidecar = holder.sidecar;
    return result;
  }
  if (locked.IsError()) {
    result.failure = kLockFailure + locked.Message();
    return result;
  }
  if (!StopOrphan(confDir, &result)) return result;

  std::shared_ptr<DirectoryClaim> claim(new DirectoryClaim(confDir, std::move(lock)),
                                        [id](DirectoryClaim* ending) { Release(id, ending); });
  const CYrError recorded = claim->WriteRecord();
  if (recorded.IsError()) {
    // Without the record nobody could name the holder; keeping the lock
    // would still keep other hosts out, so only the reason is kept.
    result.failure = "Failed to write the Priam sidecar record: " + recorded.Message();
  }
  Table()[id] = claim;
  result.outcome = ClaimResult::kClaimed;
  result.claim = std::move(claim);
  return result;
}

bool DirectoryClaim::StopSidecar(const SidecarRecord& sidecar, const std::string& confDir,
                                 bool* ended, std::string* failure) {
  *ended = false;
  if (kill(sidecar.sidecar, SIGKILL) != 0) {
    *failure = "Failed to stop the Priam sidecar left running by a host that died (process " +
               std::to_string(sidecar.sidecar) + "): " + strerror(errno);
    return false;
  }
  *ended = WaitForEnd(sidecar, confDir);
  return true;
}

void DirectoryClaim::Holder(const std::string& confDir, pid_t* host, pid_t* sidecar) {
  const SidecarRecord record = HolderRecord(confDir, false);
  *host = record.host;
  *sidecar = IsRecordedSidecarRunning(record, confDir) ? record.sidecar : 0;
}

DirectoryClaim::DirectoryClaim(const std::string& confDir, std::unique_ptr<ZbFileLock> lock)
    : m_confDir(confDir),
      m_recordPath(InDirectory(confDir, kSidecarRecordFileName)),
      m_lock(std::move(lock)) {
  m_record.host = getpid();
}

DirectoryClaim::~DirectoryClaim() {
  // The record goes while the lock is still held: it never names a host or
  // sidecar that took the directory meanwhile.
  unlink(m_recordPath.c_str());
}

bool DirectoryClaim::BeginLaunch(const void* owner) {
  std::lock_guard<std::mutex> guard(m_mutex);
  if (m_launcher && m_launcher != owner && IsRecordedSidecarRunning(m_record, m_confDir)) {
    return false;
  }
  m_launcher = owner;
  return true;
}

CYrError DirectoryClaim::RecordSidecar(const void* owner, pid_t sidecar, int port,
                                       const std::string& output) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_launcher = owner;
  m_record.sidecar = sidecar;
  m_record.port = port;
  m_record.output = output;
  m_record.startTime = 0;
  ZbProcessInfo::StartTime(sidecar, &m_record.startTime);
  return WriteRecord();
}

CYrError DirectoryClaim::ClearSidecar(const void* owner) {
  std::lock_guard<std::mutex> guard(m_mutex);
  if (m_launcher != owner) return CYrError::Success();
  m_launcher = nullptr;
  m_record = SidecarRecord();
  m_record.host = getpid();
  return WriteRecord();
}

CYrError DirectoryClaim::WriteRecord() { return WriteSidecarRecord(m_recordPath, m_record); }

}  // namespace ZbCassandra
