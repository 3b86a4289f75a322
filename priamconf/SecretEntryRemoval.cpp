// Taking the secret entries out of a properties file, also on a full
// filesystem: what a launch, a stop and an operator's clean-up share.
#include <cerrno>
#include <string>

#include "common/ControllerLog.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"
#include "priamconf/TextFile.h"

namespace ZbCassandra {

namespace {

bool IsOutOfSpace(const CYrError& error) {
  return FXErrorUtil::IsErrNo(error, ENOSPC) || FXErrorUtil::IsErrNo(error, EDQUOT);
}

}  // namespace

CYrError RemoveSecretEntries(const std::string& path, int* absent) {
  PropertyMap entries;
  CYrError error = ReadPropertiesFile(path, entries);
  if (error.IsError()) return error;
  *absent = 0;
  for (const char* key : kSecretKeys) *absent += entries.erase(key) == 0 ? 1 : 0;
  const std::string text = FormatProperties(entries);
  const CYrError cause = ReplaceTextFile(path, text);
  if (!cause.IsError()) return CYrError::Success();
  if (!IsOutOfSpace(cause)) return PropertiesWriteError(path, cause);
  // A full filesystem (often filled by the sidecar's own output) has no
  // block for a new copy, and secrets left on disk are worse than a rewrite
  // that is not atomic: the shorter content fits the file's own blocks.
  const CYrError inPlace = OverwriteTextFile(path, text);
  if (inPlace.IsError()) {
    return PropertiesWriteError(path, cause).Push(PRIAM_LOCATION, "%s", inPlace.Message().c_str());
  }
  ZB_LOG(0, "No space for a new copy of %s; its secret entries were removed in place",
         path.c_str());
  return CYrError::Success();
}

}  // namespace ZbCassandra
