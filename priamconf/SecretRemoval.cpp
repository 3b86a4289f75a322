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
  int absent = 0;
  // A failure here means the secrets may still be on disk: the caller must
  // hear of it.
  CYrError error = RemoveSecretEntries(PriamPropertiesPath(m_priamConfDir), &absent);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  for (int i = 0; i < absent; ++i) ZB_LOG(0, "Failed to erase an entry from the map");
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError RemoveSecretEntries(const std::string& path, int* absent) {
  PropertyMap entries;
  CYrError error = ReadPropertiesFile(path, entries);
  if (error.IsError()) return error;
  *absent = 0;
  for (const char* key : kSecretKeys) *absent += entries.erase(key) == 0 ? 1 : 0;
  return WritePropertiesFile(path, entries);
}

}  // namespace ZbCassandra
