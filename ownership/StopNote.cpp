#include "ownership/StopNote.h"

#include <algorithm>

#include "ZbProcessInfo.h"

namespace ZbCassandra {

namespace {

// The sidecar as its host knows it: by its pid in their namespace.
ProcessId AsItsHostKnowsIt(const SidecarProcess& sidecar) {
  const pid_t own = ZbProcessInfo::PidInOwnNamespace(sidecar.process.pid);
  return {own > 0 ? own : sidecar.process.pid, sidecar.process.startTime};
}

}  // namespace

void NoteStop(const std::string& confDir, const std::vector<SidecarProcess>& targets, EndedBy by,
              pid_t stopper) {
  if (targets.empty()) return;
  SidecarEnd noted;
  if (ReadSidecarEnd(confDir, &noted) &&
      std::any_of(targets.begin(), targets.end(), [&](const SidecarProcess& target) {
        const ProcessId known = AsItsHostKnowsIt(target);
        return known.pid == noted.sidecar.pid && known.startTime == noted.sidecar.startTime;
      })) {
    return;
  }
  SidecarEnd end = KilledBy(by, AsItsHostKnowsIt(targets.front()), targets.front().host.pid);
  end.stopper = stopper;
  WriteSidecarEnd(confDir, end);
}

}  // namespace ZbCassandra
