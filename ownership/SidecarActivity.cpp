// What becomes of a directory's sidecar, as systemctl status tells of a
// service: judged from what runs, with the record for what only the owner
// knows and the directory's last end for what outlives the owner.
#include <sys/stat.h>

#include "CYrPath.h"
#include "PriamUtil.h"
#include "ZbProcess.h"
#include "ZbProcessInfo.h"
#include "common/Boundary.h"
#include "ownership/HostLiveness.h"
#include "ownership/SidecarRecord.h"
#include "supervision/SidecarEnd.h"
#include "supervision/SidecarOutput.h"

namespace ZbCassandra {

namespace {

using Activity = PriamUtil::SidecarActivity;
using Report = PriamUtil::DirectoryReport;

// What hosts before 1.3.0 said of their sidecar's end, kept in the record
// alone.
constexpr char kStoppedByItsHost[] = ", stopped by its host";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The newer of the directory's last end and the one its record tells.
bool LastEnd(const std::string& confDir, const SidecarRecord& record, SidecarEnd* end) {
  const bool kept = ReadSidecarEnd(confDir, end);
  if (record.ended.empty() || (kept && end->at >= record.endedAt)) return kept;
  *end = SidecarEnd();
  end->host = record.host;
  end->at = record.endedAt;
  end->how = record.ended;
  if (EndsWith(end->how, kStoppedByItsHost)) {
    end->how.resize(end->how.size() - sizeof kStoppedByItsHost + 1);
    end->by = EndedBy::kItsHost;
  }
  return true;
}

bool Names(const SidecarEnd& end, pid_t pid, uint64_t startTime) {
  return end.sidecar.pid == pid && end.sidecar.startTime == startTime;
}

// The sidecar the state is about: the owner's, else a live host's, else
// an orphan; null when none runs.
const Report::Sidecar* MainSidecar(const Report& report) {
  const Report::Sidecar* live = nullptr;
  for (const Report::Sidecar& sidecar : report.sidecars) {
    if (sidecar.owners && sidecar.pid == report.recordedSidecar) return &sidecar;
    if (!live && (sidecar.hostAlive || sidecar.owners)) live = &sidecar;
  }
  if (live) return live;
  return report.sidecars.empty() ? nullptr : &report.sidecars.front();
}

int64_t StartedAt(uint64_t startTicks) {
  int64_t seconds = 0;
  return ZbProcessInfo::StartedAt(startTicks, &seconds) ? seconds : 0;
}

void JudgeRunning(const Report& report, const Report::Sidecar& main, Activity* activity) {
  activity->mainPid = main.pid;
  if (!main.hostAlive && !main.owners) {
    activity->state = Activity::kOrphaned;
  } else if (ZbProcessInfo::IsStopped(main.pid)) {
    activity->state = Activity::kStopped;
  } else {
    const bool starting = report.starting && main.pid == report.recordedSidecar;
    activity->state = starting ? Activity::kStarting : Activity::kRunning;
    activity->since = StartedAt(main.startTime);
  }
  ZbProcessInfo::Status status;
  ZbProcessInfo::GroupUsage usage;
  if (ZbProcessInfo::ReadStatus(main.pid, &status) &&
      ZbProcessInfo::UsageOfGroup(status.group, &usage)) {
    activity->tasks = usage.threads;
    activity->memoryBytes = usage.residentBytes;
  }
}

// The record still names a sidecar that runs no more: its host has not seen
// it end yet, or died with it. Its wait status, while it is its host's
// zombie, tells how.
SidecarEnd UnseenEnd(const SidecarRecord& record) {
  SidecarEnd end;
  end.sidecar = {record.sidecar, record.startTime};
  end.host = record.host;
  int status = 0;
  const bool here = record.hostPidNamespace == 0 || record.hostPidNamespace == OwnPidNamespace();
  if (here && ZbProcessInfo::ZombieExitStatus(record.sidecar, record.startTime, &status)) {
    end.how = ZbProcess::DescribeExit(status, true);
  }
  return end;
}

void TellEnd(const SidecarEnd& end, Activity* activity) {
  activity->ended = true;
  activity->lastEnd.how = end.how;
  activity->lastEnd.by = end.by;
  activity->lastEnd.text = DescribeEnd(end);
  activity->lastEnd.at = end.at;
  activity->lastEnd.pid = end.sidecar.pid;
  activity->lastEnd.host = end.host;
  activity->lastEnd.duringStart = end.duringStart;
}

// None runs: it failed when nobody asked it to end.
void JudgeEnded(const SidecarRecord& record, bool ended, const SidecarEnd& end,
                Activity* activity) {
  if (record.sidecar != 0 && !(ended && Names(end, record.sidecar, record.startTime))) {
    TellEnd(UnseenEnd(record), activity);
  } else if (ended) {
    TellEnd(end, activity);
  } else {
    return;
  }
  const bool asked = activity->lastEnd.by != Activity::kNobody;
  activity->state = asked ? Activity::kNotRunning : Activity::kFailed;
  activity->since = activity->lastEnd.at;
}

void TellOutput(const std::string& confDir, size_t lines, Activity* activity) {
  struct stat directory;
  const std::string path = CYrPath::Append(confDir.c_str(), kSidecarOutputName).str();
  if (stat(confDir.c_str(), &directory) != 0 || !IsOwnOutput(path, directory.st_uid)) return;
  activity->output = path;
  activity->lastOutput = LastOutputLines(path, lines);
}

}  // namespace

CYrError PriamUtil::reportSidecarActivity(const std::string& priamConfDir, size_t outputLines,
                                          SidecarActivity* activity, DirectoryReport* asked,
                                          DirectoryDetails* askedDetails) try {
  *activity = SidecarActivity();
  DirectoryReport unasked;
  DirectoryDetails unaskedDetails;
  DirectoryReport* report = asked ? asked : &unasked;
  DirectoryDetails* details = askedDetails ? askedDetails : &unaskedDetails;
  const CYrError reported = reportDirectory(priamConfDir, report, details);
  if (reported.IsError()) return reported;
  SidecarRecord record;
  if (!report->recordLeft || ReadSidecarRecord(priamConfDir, &record) != RecordRead::kRead) {
    record = SidecarRecord();
  }
  SidecarEnd end;
  const bool ended = LastEnd(priamConfDir, record, &end);
  if (const DirectoryReport::Sidecar* main = MainSidecar(*report)) {
    JudgeRunning(*report, *main, activity);
  } else if (details->unseenSidecar > 0) {
    // A live owner that cannot be seen from here: its record is all there is.
    activity->state = report->starting ? SidecarActivity::kStarting : SidecarActivity::kRunning;
  } else {
    JudgeEnded(record, ended, end, activity);
  }
  // What ended last stays told while another runs.
  if (ended && !activity->ended) TellEnd(end, activity);
  TellOutput(priamConfDir, outputLines, activity);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
