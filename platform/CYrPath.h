// Path joining and existence tests.
#pragma once

#include <string>

#include "CYrError.h"
#include "CYrString.h"

namespace CYrPath {
// `directory` and `name` joined with exactly one "/".
CYrString Append(const CYrString& directory, const CYrString& name);
}  // namespace CYrPath

namespace FXPath {
// Join `part` onto `path` in place with exactly one "/". `flags` must be 0.
CYrError Append(std::string& path, const std::string& part, int flags);
// True when something exists at `path`.
bool DoesPathExist(const std::string& path);
// Sets `exists`; an error only when the answer is unknown (a lookup that
// failed for another reason than absence).
CYrError DoesPathExist(const std::string& path, bool& exists);
}  // namespace FXPath
