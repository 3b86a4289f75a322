#include "ownership/LeftoverTemporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "common/ControllerLog.h"
#include "ownership/SidecarRecord.h"
#include "priamconf/PropertiesFile.h"
#include "supervision/SidecarEnd.h"

namespace ZbCassandra {

namespace {

// mkostemp's replacement for "XXXXXX": ASCII letters and digits, whatever
// the locale.
bool IsTemplateCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// CYrFile's "w" writes "<dir>/.<name>.XXXXXX" and renames it to <name>.
bool IsReplacementTemporary(const std::string& name, const char* target) {
  const std::string prefix = std::string(".") + target + ".";
  return name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0 &&
         std::all_of(name.begin() + prefix.size(), name.end(), IsTemplateCharacter);
}

bool IsLeftover(const std::string& name) {
  return IsReplacementTemporary(name, kPriamPropertiesFileName) ||
         IsReplacementTemporary(name, kPriamLog4jFileName) ||
         IsReplacementTemporary(name, kSidecarEndFileName) || IsSidecarRecordTemporary(name);
}

std::vector<std::string> LeftoverNames(DIR* directory) {
  std::vector<std::string> names;
  while (const dirent* entry = readdir(directory)) {
    if (IsLeftover(entry->d_name)) names.push_back(entry->d_name);
  }
  return names;
}

}  // namespace

int RemoveLeftoverTemporaries(const std::string& confDir) {
  const int fd = open(confDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  DIR* directory = fdopendir(fd);
  if (!directory) {
    close(fd);
    return 0;
  }
  int removed = 0;
  for (const std::string& name : LeftoverNames(directory)) {
    struct stat info;
    if (fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
      continue;
    }
    // Should a link take its place meanwhile, unlinkat removes the link.
    if (unlinkat(fd, name.c_str(), 0) != 0) continue;
    ZB_LOG(0, "Removed %s from %s: a write there never finished", name.c_str(), confDir.c_str());
    ++removed;
  }
  closedir(directory);
  return removed;
}

}  // namespace ZbCassandra
