// Taking the passwords and the token out of the properties file once a
// launch attempt no longer needs them.
#include <cerrno>
#include <string>

#include "PriamUtil.h"
#include "common/Boundary.h"
#include "common/ControllerLog.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"
#include "priamconf/TextFile.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

CYrError PriamUtil::deleteEntries() try {
  ZB_TRACE_ENTRY();
  const CYrError owned = ownDirectory();
  if (owned.IsError()) return owned;
  int absent = 0;
  // A failure here means the secrets may still be on disk: the caller must
  // hear of it.
  CYrError error = RemoveSecretEntries(PriamPropertiesPath(m_priamConfDir), &absent);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  for (int i = 0; i < absent; ++i) ZB_LOG(0, "Failed to erase an entry from the map");
  // Nothing of this controller's is on disk to guard any more.
  sidecarSupervision().secretsPending = false;
  sidecarSupervision().guardianship.ReleaseDirectoryGuard();
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
