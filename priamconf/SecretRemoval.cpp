// Taking the passwords and the token out of the properties file once a
// launch attempt no longer needs them.
#include <cerrno>
#include <string>

#include "Boundary.h"
#include "ControllerLog.h"
#include "PriamUtil.h"
#include "Supervision.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"
#include "priamconf/TextFile.h"

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
  m_supervision->secretsPending = false;
  m_supervision->guardianship.ReleaseDirectoryGuard();
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
