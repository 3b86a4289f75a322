#include "CYrPath.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "FXErrorUtil.h"

namespace {

std::string Join(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (name.empty()) return directory;
  const bool slashAtEnd = directory.back() == '/';
  const bool slashAtStart = name.front() == '/';
  if (slashAtEnd && slashAtStart) return directory + name.substr(1);
  if (slashAtEnd || slashAtStart) return directory + name;
  return directory + "/" + name;
}

}  // namespace

namespace CYrPath {

CYrString Append(const CYrString& directory, const CYrString& name) {
  return CYrString(Join(directory.str(), name.str()));
}

}  // namespace CYrPath

namespace FXPath {

CYrError Append(std::string& path, const std::string& part, int /*flags*/) {
  path = Join(path, part);
  return CYrError::Success();
}

bool DoesPathExist(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0;
}

CYrError DoesPathExist(const std::string& path, bool& exists) {
  exists = false;
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) == 0) {
    exists = !path.empty();
    return CYrError::Success();
  }
  const int code = errno;
  if (code == ENOENT || code == ENOTDIR) return CYrError::Success();
  return FXErrorUtil::ErrorErrNo(FXCodeLocation{"FXPath", __PRETTY_FUNCTION__, __LINE__}, code,
                                 "Cannot tell whether %s exists: %s", path.c_str(), strerror(code));
}

}  // namespace FXPath
