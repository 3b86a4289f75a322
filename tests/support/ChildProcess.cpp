#include "ChildProcess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "PriamUtilTestAccess.h"
#include "ZbProcess.h"

namespace testsupport {

pid_t GiveControllerASleepingChild(ZbCassandra::PriamUtil& controller) {
  using Access = ZbCassandra::PriamUtilTestAccess;
  Access::process(controller).reset(new ZbProcess());
  std::string error;
  EXPECT_TRUE(Access::process(controller)->StartProcess("/bin/sleep", "sleep 600", &error, 0))
      << error;
  Access::started(controller) = true;
  return Access::process(controller)->GetChildPid();
}

bool ProcessExists(pid_t pid) {
  struct stat info;
  return pid > 0 && stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0;
}

char ProcessState(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return 0;
  // "pid (comm) S ...": the state follows the last ')'.
  const size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

int OpenDescriptorCount() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

}  // namespace testsupport
