#include "supervision/SidecarGuardian.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ZbCassandra {

std::string GuardianProgram(std::string* why) {
  Dl_info info;
  if (dladdr(reinterpret_cast<const void*>(&GuardianProgram), &info) == 0 || !info.dli_fname) {
    *why = "the library cannot tell where it was loaded from";
    return std::string();
  }
  char resolved[PATH_MAX];
  if (!realpath(info.dli_fname, resolved)) {
    *why = std::string("cannot resolve ") + info.dli_fname + ": " + strerror(errno);
    return std::string();
  }
  std::string path = resolved;
  path = path.substr(0, path.rfind('/') + 1) + "priamutil/" + kGuardianProgramName;
  if (access(path.c_str(), X_OK) != 0) {
    *why = path + ": " + strerror(errno);
    return std::string();
  }
  return path;
}

}  // namespace ZbCassandra
