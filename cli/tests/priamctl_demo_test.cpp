// priamctl demo, whole, with only the waits for the sidecar shortened.
#include <dirent.h>
#include <gtest/gtest.h>

#include "PriamctlProcess.h"
#include "TempDir.h"

namespace clitest {
namespace {

int Entries(const std::string& dir) {
  int count = 0;
  DIR* handle = opendir(dir.c_str());
  while (handle && readdir(handle)) ++count;
  if (handle) closedir(handle);
  return count - 2;
}

TEST(Demo, TellsTheWholeStoryAndLeavesNothingBehind) {
  testsupport::TempDir tmp;
  testsupport::TempDir settings;
  const std::string store = settings.write("store.ini", "[EventManager]\nzbPriam_DEBUGLEVEL=1\n");
  const Outcome outcome =
      RunPriamctl({"demo", "--config", store, "--short-waits-for-tests"}, {{"TMPDIR", tmp.path()}});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.out << outcome.err;
  EXPECT_EQ(outcome.err, "");
  for (const std::string& step : std::vector<std::string>{
           "[1/6] Discovery", "Seeds             10.20.0.11, 10.20.0.12",
           "  with the settings of " + store + "\n", "priam.cqluserpassword=********",
           "    priam.cqlhost is the demo's own choice, 127.0.0.1: nothing listens on the CQL "
           "port\n",
           "[3/6] Launch", "\"standin\": true", "\"priam.cqluserpassword\": true",
           "None of the 4 secrets is left in the file.", "[6/6] Stop", " is gone.\n", "Removed "}) {
    EXPECT_NE(outcome.out.find(step), std::string::npos) << step;
  }
  EXPECT_EQ(outcome.out.find("demo-Cql-Pa55word"), std::string::npos) << "secrets stay masked";
  EXPECT_EQ(Entries(tmp.path()), 0) << "the demo's directory is removed";
}

TEST(Demo, UnusableTemporaryDirectoryIsReportedWithCode1) {
  const Outcome outcome =
      RunPriamctl({"demo", "--short-waits-for-tests"}, {{"TMPDIR", "/proc/no-such-dir"}});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("priamctl: cannot make a directory in /proc/no-such-dir/"),
            std::string::npos)
      << outcome.err;
}

}  // namespace
}  // namespace clitest
