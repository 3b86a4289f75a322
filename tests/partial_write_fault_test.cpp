// Writes that stop part-way through the new content (the file size limit is
// reached in the middle of it): every rewrite of a configuration file must
// report the failure and leave the old file whole, with no temporary file
// and no descriptor left behind. A writer killed part-way cannot clean up:
// what it leaves is removed later, and nothing else is.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "CYrFile.h"
#include "CapturingLogWriter.h"
#include "ChildProcess.h"
#include "PriamConfFixture.h"
#include "PriamUtil.h"
#include "ownership/LeftoverTemporaries.h"

namespace {

using testsupport::DirectoryNames;
using testsupport::ScopedFileSizeLimit;
using ZbCassandra::PriamUtil;

// A properties file of a few hundred kilobytes: the secrets and connection
// entries a host writes, among many unmanaged lines.
std::string LargePropertiesFile() {
  std::string content =
      "priam.cqlhost=10.0.0.1\npriam.cqluserpassword=cql-S3cret\npriam.jmx.token=jmx-T0ken\n"
      "priam.keystore.password=ks-Pa55\npriam.truststore.password=ts-Pa55\n";
  for (int i = 0; i < 5000; ++i) {
    content += "priam.setting." + std::to_string(i) + "=" + std::string(60, 'a' + i % 26) + "\n";
  }
  return content;
}

struct Rewrite {
  const char* name;
  std::function<CYrError(PriamUtil&, const std::string& path)> run;
};

class PartialWrite : public testsupport::PropertiesFileTest {};

TEST_F(PartialWrite, OldFileStaysWholeAndTheCallFails) {
  const std::string longValue(100000, 'x');
  const Rewrite rewrites[] = {
      {"writePriamProperties",
       [&](PriamUtil& c, const std::string&) {
         return c.writePriamProperties({{"priam.cqlusername", "cassandra"},
                                        {"priam.cqluserpassword", "new-S3cret"},
                                        {"priam.large", longValue}});
       }},
      {"deleteEntries", [](PriamUtil& c, const std::string&) { return c.deleteEntries(); }},
      {"AddOrUpdateFieldInConfigFile",
       [&](PriamUtil& c, const std::string& path) {
         return c.AddOrUpdateFieldInConfigFile(path, "priam.large", longValue);
       }},
      {"writePriamProperty",
       [&](PriamUtil& c, const std::string&) { return c.writePriamProperty(longValue); }},
  };
  const std::string old = LargePropertiesFile();
  for (const Rewrite& rewrite : rewrites) {
    SCOPED_TRACE(rewrite.name);
    Given(old);
    const std::set<std::string> names = DirectoryNames(confDir.path());
    const int descriptors = testsupport::OpenDescriptorCount();
    CYrError error;
    {
      // Past the first byte and well short of the end of any of the rewrites
      // (deleteEntries writes the least: the old file less its secrets).
      ScopedFileSizeLimit limit(old.size() / 2);
      error = rewrite.run(*controller, PropertiesPath());
    }
    ASSERT_TRUE(error.IsError());
    EXPECT_NE(error.AsString().find(strerror(EFBIG)), std::string::npos) << error.AsString();
    EXPECT_TRUE(Now() == old) << "the old file was changed";
    EXPECT_EQ(DirectoryNames(confDir.path()), names) << "a temporary file was left";
    EXPECT_EQ(testsupport::OpenDescriptorCount(), descriptors);

    // Without the limit the same call goes through.
    ASSERT_FALSE(rewrite.run(*controller, PropertiesPath()).IsError());
    EXPECT_NE(Now(), old);
  }
}

TEST(KilledWriter, ItsTemporaryFilesAreRemovedAndNothingElse) {
  testsupport::TempDir confDir;
  // Killed inside each write the library makes there, secrets and all.
  for (const char* name : {"zbPriam.properties", "zbPriamlog4j.properties"}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      CYrFile file;
      file.Open(confDir.file(name), "w");
      file.Write("priam.jmx.token=tok\n", 20, nullptr);
      kill(getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
  }
  const std::set<std::string> leftovers = DirectoryNames(confDir.path());
  ASSERT_EQ(leftovers.size(), 2u);
  confDir.write("zbPriam.sidecar.tmp48213", "host=1\n");
  confDir.write("zbPriam.sidecar.tmp0", "host=1\n");

  testsupport::TempDir elsewhere;
  const std::string victim = elsewhere.write("victim", "keep\n");
  ASSERT_EQ(symlink(victim.c_str(), confDir.file(".zbPriam.properties.Qw3rty").c_str()), 0);
  ASSERT_EQ(mkdir(confDir.file(".zbPriamlog4j.properties.dir123").c_str(), 0700), 0);
  const std::set<std::string> others = {"zbPriam.properties",
                                        "zbPriam.sidecar",
                                        "zbPriam.lock",
                                        "zbPriam.out",
                                        ".zbPriam.properties.abc12",
                                        ".zbPriam.properties.abc1234",
                                        ".zbPriam.properties.ab-123",
                                        "zbPriam.properties.abc123",
                                        ".cassandra.yaml.abc123",
                                        ".zbPriam.properties.abc123.x",
                                        "zbPriam.sidecar.tmp",
                                        "zbPriam.sidecar.tmp1234567",
                                        "zbPriam.sidecar.tmp012",
                                        "zbPriam.sidecar.tmp12a",
                                        "zbPriam.sidecar.tmp-1",
                                        "xzbPriam.sidecar.tmp1"};
  for (const std::string& name : others) confDir.write(name, "not a leftover\n");

  testsupport::ScopedLogCapture log(0);
  EXPECT_EQ(ZbCassandra::RemoveLeftoverTemporaries(confDir.path()), 4);
  std::set<std::string> kept = others;
  kept.insert({".zbPriam.properties.Qw3rty", ".zbPriamlog4j.properties.dir123"});
  EXPECT_EQ(DirectoryNames(confDir.path()), kept);
  EXPECT_EQ(testsupport::ReadFile(victim), "keep\n");
  EXPECT_EQ(log->Texts(0).size(), 4u);
  EXPECT_EQ(ZbCassandra::RemoveLeftoverTemporaries(confDir.file("missing")), 0);
}

}  // namespace
