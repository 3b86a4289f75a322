#include "ownership/DirectoryClaim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <thread>
#include <utility>

#include "FXErrorUtil.h"
#include "ZbProcessInfo.h"
#include "ownership/LeftoverTemporaries.h"
#include "ownership/StopNote.h"

namespace ZbCassandra {

namespace {

constexpr const char kLockFailure[] = "Failed to lock the Priam configuration directory: ";
// The last holder of a claim gives it up within moments.
constexpr auto kReleaseWait = std::chrono::seconds(1);

using DirectoryId = std::pair<dev_t, ino_t>;

// The process's claims, and the sidecars its controllers run. Never
// destroyed: a controller that a host destroys from a static destructor may
// still let go of its claim. Recursive, since a claim dropped while the
// table is in use (an allocation failing half-way) takes it again to leave.
std::recursive_mutex& TableMutex() {
  static auto* mutex = new std::recursive_mutex();
  return *mutex;
}
std::map<DirectoryId, std::weak_ptr<DirectoryClaim>>& Table() {
  static auto* table = new std::map<DirectoryId, std::weak_ptr<DirectoryClaim>>();
  return *table;
}
// The pids of the sidecars that controllers of this process recorded, on
// any directory: a sidecar of ours that a scan finds is either one of these
// (or of their process groups) or a stray.
std::set<pid_t>& RecordedSidecars() {
  static auto* recorded = new std::set<pid_t>();
  return *recorded;
}

bool RecordedByThisProcess(const SidecarProcess& sidecar) {
  std::lock_guard<std::recursive_mutex> guard(TableMutex());
  return RecordedSidecars().count(sidecar.process.pid) != 0 ||
         RecordedSidecars().count(sidecar.group) != 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The last controller let go of `claim`. Its entry goes only once the lock is
// free, so that no other controller of the process takes its own lock for
// ours (record locks belong to the process: one of the two would drop the
// other's). An entry that a newer claim took over stays.
void Release(const DirectoryId& id, DirectoryClaim* claim) {
  std::lock_guard<std::recursive_mutex> guard(TableMutex());
  delete claim;
  const auto found = Table().find(id);
  if (found != Table().end() && found->second.expired()) Table().erase(found);
}

// The sidecar the live host `host` (as this process sees it) runs from the
// directory, as its record or the process table tells; 0 for none.
pid_t SidecarOf(pid_t host, const SidecarRecord& record, const Liveness& recorded,
                const std::vector<SidecarProcess>& sidecars) {
  if (recorded.alive && recorded.pidHere == host) {
    const pid_t sidecar = PidHere(record.sidecar, record.startTime, record.hostPidNamespace);
    if (sidecar != 0) return sidecar;
  }
  for (const SidecarProcess& sidecar : sidecars) {
    if (sidecar.hostAlive && sidecar.hostHere == host) return sidecar.process.pid;
  }
  return 0;
}

// A live host as this process names it: by its pid here when it can be
// seen, otherwise by its own.
void NameHolder(const Liveness& liveness, pid_t own, ClaimResult* result) {
  result->holder = liveness.pidHere != 0 ? liveness.pidHere : own;
  result->holderUnseen = liveness.pidHere == 0 && liveness.elsewhere;
}

// The table's claim on `id` that this process may share; null when there
// is none (or only a forked parent's). False when a claim is being given up
// and does not go.
bool SharedClaim(const DirectoryId& id, std::unique_lock<std::recursive_mutex>& guard,
                 std::shared_ptr<DirectoryClaim>* claim) {
  const auto deadline = std::chrono::steady_clock::now() + kReleaseWait;
  for (auto found = Table().find(id); found != Table().end(); found = Table().find(id)) {
    *claim = found->second.lock();
    if (*claim) {
      if ((*claim)->Owner() != getpid()) claim->reset();
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // The last holder is letting go right now; its entry goes once the lock
    // is free.
    guard.unlock();
    std::this_thread::yield();
    guard.lock();
  }
  return true;
}

}  // namespace

ClaimResult DirectoryClaim::Acquire(const std::string& confDir, EndedBy stopper) {
  ClaimResult result;
  const int directory = open(confDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat info;
  if (directory < 0 || fstat(directory, &info) != 0) {
    result.failure = std::string(kLockFailure) + confDir + ": " + strerror(errno);
    if (directory >= 0) close(directory);
    return result;
  }
  const DirectoryId id(info.st_dev, info.st_ino);
  std::unique_lock<std::recursive_mutex> guard(TableMutex());
  if (!SharedClaim(id, guard, &result.claim)) {
    close(directory);
    result.failure =
        std::string(kLockFailure) + confDir + ": its last claim is still being released";
    return result;
  }
  if (result.claim) {
    close(directory);
    result.outcome = ClaimResult::kClaimed;
    return result;
  }

  std::unique_ptr<ZbFileLock> lock(new ZbFileLock());
  bool heldElsewhere = false;
  pid_t holder = 0;
  const CYrError locked = lock->TryLock(LockFilePath(confDir), &heldElsewhere, &holder);
  SidecarRecord record;
  if (heldElsewhere) {
    close(directory);
    result.outcome = ClaimResult::kHeldElsewhere;
    result.holder = holder;
    const Liveness recorded = ReadSidecarRecord(confDir, &record) == RecordRead::kRead
                                  ? RecordedHostLiveness(record, confDir)
                                  : Liveness();
    // A holder that cannot be seen from here shows as no process at all.
    if (holder <= 0 && recorded.alive) NameHolder(recorded, record.host, &result);
    if (holder > 0) result.holderSidecar = SidecarOf(holder, record, recorded, {});
    return result;
  }
  if (locked.IsError()) {
    close(directory);
    result.failure = kLockFailure + locked.Message();
    return result;
  }

  // The lock was free. A live host that the record or a sidecar names owns
  // the directory all the same: its lock file was removed, or the directory
  // moved, under it. Judged while we hold the lock: a host whose record
  // names this very file cannot hold it.
  const pid_t self = getpid();
  const bool read = ReadSidecarRecordAt(directory, &record) == RecordRead::kRead;
  const Liveness recorded = read && !IsThisProcess(RecordedHost(record))
                                ? RecordedHostLiveness(record, confDir)
                                : Liveness();
  const std::vector<SidecarProcess> sidecars = FindSidecars(confDir);
  if (recorded.alive) NameHolder(recorded, record.host, &result);
  std::vector<SidecarProcess> orphans;
  for (const SidecarProcess& sidecar : sidecars) {
    if (!sidecar.hostAlive) {
      orphans.push_back(sidecar);
    } else if (sidecar.hostHere != self && result.holder == 0) {
      NameHolder({true, sidecar.hostElsewhere, sidecar.hostHere}, sidecar.host.pid, &result);
    }
  }
  if (result.holder != 0) {
    close(directory);
    result.outcome = ClaimResult::kHeldElsewhere;
    result.lockLost = true;
    result.holderSidecar =
        result.holderUnseen ? 0 : SidecarOf(result.holder, record, recorded, sidecars);
    return result;
  }
  for (const SidecarProcess& orphan : orphans) result.stoppedOrphans.push_back(orphan.process.pid);
  NoteStop(confDir, orphans, stopper, stopper == EndedBy::kNextHost ? self : 0);
  if (!orphans.empty() && !StopSidecars(orphans, &result.failure)) {
    // Nothing is written under a sidecar that may still read it.
    close(directory);
    result.orphansEnded = false;
    return result;
  }

  // What a writer killed before its rename left holds every secret it wrote.
  RemoveLeftoverTemporaries(confDir);
  std::shared_ptr<DirectoryClaim> claim(new DirectoryClaim(confDir, directory, std::move(lock)),
                                        [id](DirectoryClaim* ending) { Release(id, ending); });
  const CYrError written = claim->WriteRecord();
  if (written.IsError()) {
    // Without the record nobody could name the holder; keeping the lock
    // would still keep other hosts out, so only the reason is kept. A dead
    // host's record must not outlive it all the same: removing it needs no
    // space.
    if (read) claim->RemoveDeadRecord(record);
    result.failure = "Failed to write the Priam sidecar record: " + written.Message();
  }
  Table()[id] = claim;
  result.outcome = ClaimResult::kClaimed;
  result.claim = std::move(claim);
  return result;
}

void DirectoryClaim::Holder(const std::string& confDir, pid_t* host, pid_t* sidecar) {
  *host = 0;
  *sidecar = 0;
  SidecarRecord record;
  const Liveness recorded = ReadSidecarRecord(confDir, &record) == RecordRead::kRead
                                ? RecordedHostLiveness(record, confDir)
                                : Liveness();
  pid_t holder = ZbFileLock::Holder(LockFilePath(confDir));
  if (holder <= 0 && recorded.alive)
    holder = recorded.pidHere != 0 ? recorded.pidHere : record.host;
  if (holder <= 0) return;
  *host = holder;
  *sidecar = SidecarOf(holder, record, recorded, FindSidecars(confDir));
}

DirectoryClaim::DirectoryClaim(const std::string& confDir, int directory,
                               std::unique_ptr<ZbFileLock> lock)
    : m_confDir(confDir), m_directory(directory), m_lock(std::move(lock)), m_owner(ThisProcess()) {
  NameOwner();
}

DirectoryClaim::~DirectoryClaim() {
  if (IsOwner()) {
    // The record goes while the lock is still held, and only while it is
    // still the one this claim wrote.
    SidecarRecord onDisk;
    if (ReadSidecarRecordAt(m_directory, &onDisk) == RecordRead::kRead &&
        SameHost(RecordedHost(onDisk), RecordedHost(m_record))) {
      unlinkat(m_directory, kSidecarRecordFileName, 0);
    }
    m_lock->Unlock();
    if (m_recordedLock) m_recordedLock->Unlock();
  } else {
    m_lock->Forget();
    if (m_recordedLock) m_recordedLock->Forget();
  }
  close(m_directory);
}

bool DirectoryClaim::IsOwner() const { return m_owner.pid == getpid(); }

void DirectoryClaim::NameOwner() {
  m_record.host = m_owner.pid;
  m_record.hostStart = m_owner.startTime;
  m_record.hostPidNamespace = OwnPidNamespace();
  m_record.lockDevice = m_record.lockInode = 0;
  dev_t device = 0;
  ino_t inode = 0;
  // Named only as the system's lock table shows our lock: readers look for
  // it there, and a filesystem that numbers its devices otherwise in stat()
  // must not make a live owner look dead. Unnamed, the pid decides.
  if (m_lock->Identity(&device, &inode) && ZbFileLock::HeldBy(m_owner.pid, device, inode) == 1) {
    m_record.lockDevice = static_cast<uint64_t>(device);
    m_record.lockInode = static_cast<uint64_t>(inode);
  }
}

void DirectoryClaim::RemoveDeadRecord(const SidecarRecord& dead) {
  SidecarRecord onDisk;
  if (ReadSidecarRecordAt(m_directory, &onDisk) == RecordRead::kRead &&
      SameHost(RecordedHost(onDisk), RecordedHost(dead))) {
    unlinkat(m_directory, kSidecarRecordFileName, 0);
  }
}

ClaimCheck DirectoryClaim::Check() {
  ClaimCheck check;
  if (!IsOwner()) {
    check.outcome = ClaimCheck::kForked;
    check.other = m_owner.pid;
    return check;
  }
  if (!StillAtItsPath()) {
    check.outcome = ClaimCheck::kMoved;
    return check;
  }
  std::lock_guard<std::mutex> guard(m_mutex);
  const std::string lockPath = LockFilePath(m_confDir);
  if (m_lock->IsAt(lockPath)) return check;
  // The lock file was removed or replaced under us: lock the one there now,
  // unless another host was first.
  std::unique_ptr<ZbFileLock> again(new ZbFileLock());
  bool heldElsewhere = false;
  if (again->TryLock(lockPath, &heldElsewhere, &check.other).IsError()) {
    check.outcome = ClaimCheck::kTaken;
    return check;
  }
  // The record names the old file until one naming the new file is
  // written; the old file's lock is kept until then.
  if (!m_recordedLock) m_recordedLock = std::move(m_lock);
  m_lock = std::move(again);
  NameOwner();
  WriteRecord();
  return check;
}

bool DirectoryClaim::BeginLaunch(const void* owner, pid_t* runningHost, pid_t* runningSidecar,
                                 std::vector<pid_t>* stopped) {
  std::lock_guard<std::mutex> guard(m_mutex);
  *runningHost = *runningSidecar = 0;
  if (m_launcher && m_launcher != owner && IsAlive({m_record.sidecar, m_record.startTime})) {
    *runningHost = m_owner.pid;
    *runningSidecar = m_record.sidecar;
    return false;
  }
  std::vector<SidecarProcess> strays;
  for (const SidecarProcess& sidecar : FindSidecars(m_confDir)) {
    const bool ours = sidecar.hostAlive && sidecar.hostHere == m_owner.pid;
    if ((sidecar.hostAlive && !ours) || (ours && RecordedByThisProcess(sidecar))) {
      *runningHost = sidecar.hostHere != 0 ? sidecar.hostHere : sidecar.host.pid;
      *runningSidecar = sidecar.process.pid;
      return false;
    }
    strays.push_back(sidecar);
  }
  for (const SidecarProcess& stray : strays) stopped->push_back(stray.process.pid);
  NoteStop(m_confDir, strays, EndedBy::kNextHost, m_owner.pid);
  std::string failure;
  StopSidecars(strays, &failure);
  m_launcher = owner;
  return true;
}

bool DirectoryClaim::StopStrays(std::string* failure) {
  std::vector<SidecarProcess> strays;
  for (const SidecarProcess& sidecar : FindSidecars(m_confDir)) {
    const bool ours = sidecar.hostAlive && sidecar.hostHere == m_owner.pid;
    if (!sidecar.hostAlive || (ours && !RecordedByThisProcess(sidecar))) strays.push_back(sidecar);
  }
  return StopSidecars(strays, failure);
}

CYrError DirectoryClaim::RecordSidecar(const void* owner, pid_t sidecar, int port,
                                       const std::string& output, bool starting, pid_t guardian) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_launcher = owner;
  if (m_record.sidecar != sidecar) {
    std::lock_guard<std::recursive_mutex> table(TableMutex());
    RecordedSidecars().erase(m_record.sidecar);
    RecordedSidecars().insert(sidecar);
  }
  m_record.sidecar = sidecar;
  m_record.port = port;
  m_record.output = output;
  m_record.starting = starting;
  m_record.startTime = 0;
  ZbProcessInfo::StartTime(sidecar, &m_record.startTime);
  m_record.guardian = guardian;
  m_record.guardianStart = 0;
  if (guardian > 0) ZbProcessInfo::StartTime(guardian, &m_record.guardianStart);
  return WriteRecord();
}

CYrError DirectoryClaim::ClearSidecar(const void* owner, SidecarEnd end) {
  std::lock_guard<std::mutex> guard(m_mutex);
  if (m_launcher != owner) return CYrError::Success();
  m_launcher = nullptr;
  {
    std::lock_guard<std::recursive_mutex> table(TableMutex());
    RecordedSidecars().erase(m_record.sidecar);
  }
  end.sidecar = {m_record.sidecar, m_record.startTime};
  end.host = m_owner.pid;
  end.at = static_cast<int64_t>(time(nullptr));
  m_record = SidecarRecord();
  NameOwner();
  // An end not seen (the sidecar outlived its stop) is none to tell.
  if (!end.how.empty()) {
    m_record.ended = DescribeEnd(end);
    m_record.endedAt = end.at;
  }
  const CYrError written = WriteRecord();
  if (!end.how.empty() && !written.IsError() && StillAtItsPath()) {
    return WriteSidecarEnd(m_confDir, end);
  }
  return written;
}

bool DirectoryClaim::StillAtItsPath() const {
  struct stat there;
  struct stat locked;
  return stat(m_confDir.c_str(), &there) == 0 && fstat(m_directory, &locked) == 0 &&
         SameFile(there, locked);
}

CYrError DirectoryClaim::WriteRecord() {
  if (!IsOwner()) return CYrError::Success();
  // A record that another host wrote (it took the directory after our lock
  // file was removed) is that host's to keep.
  SidecarRecord onDisk;
  if (ReadSidecarRecordAt(m_directory, &onDisk) == RecordRead::kRead &&
      !SameHost(RecordedHost(onDisk), RecordedHost(m_record)) &&
      RecordedHostLiveness(onDisk, m_confDir).alive) {
    return FXErrorUtil::ErrorErrNo(
        FXCodeLocation{"PriamUtil", __PRETTY_FUNCTION__, __LINE__}, EPERM,
        "The record in %s is another host's (process %d); it was left as it is", m_confDir.c_str(),
        onDisk.host);
  }
  const CYrError written = WriteSidecarRecordAt(m_directory, m_record);
  // The record names the lock held now: the one it named before may go.
  if (!written.IsError()) m_recordedLock.reset();
  return written;
}

}  // namespace ZbCassandra
