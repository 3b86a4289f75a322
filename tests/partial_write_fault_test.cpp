// Writes that stop part-way through the new content (the file size limit is
// reached in the middle of it): every rewrite of a configuration file must
// report the failure and leave the old file whole, with no temporary file
// and no descriptor left behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "ChildProcess.h"
#include "PriamConfFixture.h"
#include "PriamUtil.h"

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

}  // namespace
