#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "CapturingLogWriter.h"
#include "FXErrorUtil.h"
#include "PriamConfFixture.h"
#include "PriamUtil.h"
#include "common/ErrorCodes.h"

namespace {

using testsupport::FileMode;
using testsupport::PathExists;
using testsupport::ReadFile;
using testsupport::WriteFile;
using Properties = std::map<std::string, std::string>;
using Texts = std::vector<std::string>;

using PropertyWriting = testsupport::PropertiesFileTest;

TEST_F(PropertyWriting, CqlHostIsAddedAtTheEndOrReplacedInPlace) {
  Given("a=1\nb=2");
  ASSERT_FALSE(controller->writePriamProperty("10.0.0.1").IsError());
  EXPECT_EQ(Now(), "a=1\nb=2\npriam.cqlhost=10.0.0.1\n");
  EXPECT_EQ(FileMode(PropertiesPath()), 0600);

  Given("a=1\npriam.cqlhost=old\nb=2\n");
  ASSERT_FALSE(controller->writePriamProperty("h$&").IsError());
  EXPECT_EQ(Now(), "a=1\npriam.cqlhost=h$&\nb=2\n");
}

TEST_F(PropertyWriting, CqlHostContentIsLoggedAtLevelOneWithSecretsMasked) {
  Given("priam.cqluserpassword=pw-77\npriam.cqlhost=old\n");
  testsupport::ScopedLogCapture log(1);
  ASSERT_FALSE(controller->writePriamProperty("node1").IsError());
  const auto entries = log->Entries();
  ASSERT_EQ(entries.size(), 3u);  // tracer entry, content, tracer exit
  EXPECT_EQ(entries[1].level, 1);
  EXPECT_EQ(entries[1].text, " Content [priam.cqluserpassword=********\npriam.cqlhost=node1\n]");
  EXPECT_NE(entries[1].context.find("writePriamProperty"), std::string::npos);
  EXPECT_EQ(log->AllText().find("pw-77"), std::string::npos);
}

TEST_F(PropertyWriting, CqlHostFailuresLeaveTheFileAlone) {
  Given("priam.cqlhost=old\n");
  for (const char* host : {"evil\npriam.jmx.user=admin", "evil\r"}) {
    const CYrError error = controller->writePriamProperty(host);
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kInvalidParameter));
    EXPECT_EQ(error.Message(), "Invalid property priam.cqlhost");
  }
  EXPECT_EQ(Now(), "priam.cqlhost=old\n");

  {
    testsupport::ScopedFileSizeLimit limit(Now().size());
    EXPECT_TRUE(controller->writePriamProperty("a-much-longer-host-name").IsError());
  }
  EXPECT_EQ(Now(), "priam.cqlhost=old\n");

  std::remove(PropertiesPath().c_str());
  const CYrError error = controller->writePriamProperty("h");
  ASSERT_TRUE(error.IsError());
  EXPECT_NE(error.Frames()[0].function.find("writePriamProperty"), std::string::npos);
  EXPECT_FALSE(PathExists(PropertiesPath()));
}

TEST_F(PropertyWriting, MergeFollowsTheEffectTable) {
  Given(
      "zz.unmanaged.kept=1\n"
      "\n"
      "not an entry\n"
      "unmanaged.replaced=old\n"
      "priam.cqlhost=removed\n"
      "priam.jmx.token=old-token\n"
      "priam.cqlport=old\n");
  testsupport::ScopedLogCapture log(0);
  ASSERT_FALSE(controller
                   ->writePriamProperties({{"unmanaged.replaced", "new"},
                                           {"priam.cqlport", "9142"},
                                           {"priam.jmx.user", "admin"},
                                           {"priam.server.kspasswd", "ks=="},
                                           {"Upper", "sorts first"}})
                   .IsError());
  EXPECT_EQ(Now(),
            "Upper=sorts first\n"
            "priam.cqlport=9142\n"
            "priam.jmx.user=admin\n"
            "priam.server.kspasswd=ks==\n"
            "unmanaged.replaced=new\n"
            "zz.unmanaged.kept=1\n");
  EXPECT_EQ(FileMode(PropertiesPath()), 0600);
  EXPECT_EQ(log->Texts(), Texts{"Writing properties into file " + PropertiesPath()});
}

TEST_F(PropertyWriting, EmptyMergeDropsEveryManagedKeyAndKeepsTheRest) {
  Given(
      "priam.cqlhost=h\npriam.cqlport=1\npriam.cqlusername=u\npriam.cqluserpassword=p\n"
      "priam.jmx.port=2\npriam.jmx.user=j\npriam.jmx.token=t\npriam.keystore.password=k\n"
      "priam.truststore.password=s\n"
      "b.other=x\nb.other=last wins\na.other=v==\n");
  ASSERT_FALSE(controller->writePriamProperties({}).IsError());
  EXPECT_EQ(Now(), "a.other=v==\nb.other=last wins\n");
}

TEST_F(PropertyWriting, CallOrderDecidesWhetherTheCqlHostSurvives) {
  ASSERT_FALSE(controller->writePriamProperty("h1").IsError());
  ASSERT_FALSE(controller->writePriamProperties({{"priam.cqlport", "9042"}}).IsError());
  EXPECT_EQ(Now().find("priam.cqlhost"), std::string::npos);

  ASSERT_FALSE(controller->writePriamProperty("h2").IsError());
  EXPECT_EQ(Now(),
            "priam.backup.threads=2\npriam.cass.process=cassandra\n"
            "priam.cqlport=9042\npriam.cqlhost=h2\n");
}

TEST_F(PropertyWriting, MergeRefusesLineBreakingInputWithoutNamingTheValue) {
  Given("priam.jmx.user=admin\n");
  const Properties bad[] = {{{"priam.cqluserpassword", "x\npriam.jmx.user=root"}},
                            {{"priam.jmx.token", "t\r"}},
                            {{"a=b", "v"}},
                            {{"", "v"}},
                            {{"k\n", "v"}}};
  for (const Properties& properties : bad) {
    const std::string key = properties.begin()->first;
    const CYrError error = controller->writePriamProperties(properties);
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kInvalidParameter)) << key;
    EXPECT_EQ(error.Message(), "Invalid property " + key);
    EXPECT_EQ(error.AsString().find("root"), std::string::npos);
  }
  EXPECT_EQ(Now(), "priam.jmx.user=admin\n");
}

TEST_F(PropertyWriting, MergeFailuresAreReportedAndCreateOrBreakNothing) {
  const std::string old = "priam.cqlport=9042\n";
  Given(old);
  {
    testsupport::ScopedFileSizeLimit limit(old.size());
    const CYrError error =
        controller->writePriamProperties({{"priam.cqlport", "9042"}, {"more", "data"}});
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kInvalidData));
    EXPECT_EQ(error.Message(), "Failed to write " + PropertiesPath() + " file");
  }
  EXPECT_EQ(Now(), old);

  std::remove(PropertiesPath().c_str());
  testsupport::ScopedLogCapture log(0);
  const CYrError error = controller->writePriamProperties({{"priam.cqlport", "9042"}});
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kInvalidData));
  EXPECT_EQ(error.Message(), "Failed to open " + PropertiesPath() + " file");
  EXPECT_FALSE(PathExists(PropertiesPath()));
  EXPECT_TRUE(log->Texts().empty());
}

TEST_F(PropertyWriting, HugeFilesAreRewrittenWhole) {
  // 100 MB: many long unmanaged lines, then the host line.
  const std::string line = "k" + std::string(1000, 'v') + "\n";
  std::string content;
  content.reserve(100u << 20);
  for (int i = 0; content.size() < (100u << 20); ++i) {
    content += std::to_string(i) + "." + line;
  }
  Given(content + "priam.cqlhost=old\n");
  ASSERT_FALSE(controller->writePriamProperty("new").IsError());
  EXPECT_EQ(Now(), content + "priam.cqlhost=new\n");
}

}  // namespace
