// Taking the passwords and the token out of the properties file once a
// launch attempt no longer needs them.
#include "Boundary.h"
#include "PriamUtil.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"

namespace ZbCassandra {

CYrError PriamUtil::deleteEntries() try {
  ZB_TRACE_ENTRY();
  const CYrError owned = ownDirectory();
  if (owned.IsError()) return owned;
  const std::string path = PriamPropertiesPath(m_priamConfDir);
  PropertyMap entries;
  CYrError error = ReadPropertiesFile(path, entries);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);

  for (const char* key : kSecretKeys) {
    if (entries.erase(key) == 0) ZB_LOG(0, "Failed to erase an entry from the map");
  }

  // A failure here means the secrets may still be on disk: the caller must
  // hear of it.
  error = WritePropertiesFile(path, entries);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
