// The host's two ways of writing the sidecar's connection properties.
#include <algorithm>
#include <array>
#include <map>
#include <string>

#include "PriamUtil.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "priamconf/KeyUpdate.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"
#include "priamconf/TextFile.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

namespace {

constexpr const char kCqlHostKey[] = "priam.cqlhost";

// The keys whose presence in the file the caller's map decides: a managed
// key the caller leaves out is removed.
constexpr std::array<const char*, 9> kManagedKeys = {kCqlHostKey,
                                                     "priam.cqlport",
                                                     "priam.cqlusername",
                                                     "priam.cqluserpassword",
                                                     "priam.jmx.port",
                                                     "priam.jmx.user",
                                                     "priam.jmx.token",
                                                     "priam.keystore.password",
                                                     "priam.truststore.password"};

}  // namespace

CYrError PriamUtil::writePriamProperty(std::string cqlHost) try {
  ZB_TRACE_ENTRY();
  if (!IsValidPropertyValue(cqlHost)) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter, "Invalid property %s",
                                   kCqlHostKey);
  }
  const CYrError owned = ownDirectory();
  if (owned.IsError()) return owned;
  const std::string path = PriamPropertiesPath(m_priamConfDir);
  std::string content;
  CYrError error = ReadTextFile(path, content);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);

  content = SetKeyInText(content, kCqlHostKey, cqlHost);
  ZB_LOG(1, " Content [%s]", MaskSecretValues(content).c_str());

  error = ReplaceTextFile(path, content);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::writePriamProperties(std::map<std::string, std::string> properties) try {
  ZB_TRACE_ENTRY();
  // Refused before anything is touched; the value is never named, it may
  // be a password.
  for (const auto& property : properties) {
    if (!IsValidPropertyKey(property.first) || !IsValidPropertyValue(property.second)) {
      return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter, "Invalid property %s",
                                     property.first.c_str());
    }
  }
  const CYrError owned = ownDirectory();
  if (owned.IsError()) return owned;
  const std::string path = PriamPropertiesPath(m_priamConfDir);
  PropertyMap merged;
  CYrError error = ReadPropertiesFile(path, merged);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);

  for (const char* key : kManagedKeys) {
    if (properties.count(key) == 0) merged.erase(key);
  }
  for (auto& property : properties) merged[property.first] = std::move(property.second);

  // Guarded from the moment they are on disk: if this host dies before a
  // launch takes them out, its guardian does.
  const bool secrets = std::any_of(kSecretKeys.begin(), kSecretKeys.end(),
                                   [&](const char* key) { return merged.count(key) != 0; });
  if (secrets) sidecarSupervision().guardianship.Ensure(m_priamConfDir);
  ZB_LOG(0, "Writing properties into file %s", path.c_str());
  error = WritePropertiesFile(path, merged);
  if (error.IsError()) {
    // The old file is whole: what this controller had on disk is still all.
    if (!sidecarSupervision().secretsPending)
      sidecarSupervision().guardianship.ReleaseDirectoryGuard();
    return error.Push(PRIAM_LOCATION);
  }
  sidecarSupervision().secretsPending = secrets;
  if (!secrets) sidecarSupervision().guardianship.ReleaseDirectoryGuard();
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
