// A fresh directory for fuzz targets that go through real files, in memory
// where the machine has a tmpfs: a disk would slow every run down.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzCheck.h"

inline std::string MakeScratchDirectory(const std::string& name) {
  struct stat info;
  const std::string parent =
      stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) ? "/dev/shm" : "/tmp";
  std::string pattern = parent + "/" + name + "-XXXXXX";
  FUZZ_CHECK(mkdtemp(&pattern[0]) != nullptr);
  // Removed when the fuzzer exits normally; a crash leaves it for a look.
  static std::vector<std::string> made;
  if (made.empty()) {
    std::atexit([] {
      std::error_code ignored;
      for (const std::string& dir : made) std::filesystem::remove_all(dir, ignored);
    });
  }
  made.push_back(pattern);
  return pattern;
}
