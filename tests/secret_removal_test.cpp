#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "CapturingLogWriter.h"
#include "FXErrorUtil.h"
#include "PriamConfFixture.h"
#include "PriamUtil.h"
#include "SmallFilesystem.h"
#include "common/ErrorCodes.h"
#include "priamconf/SecretKeys.h"

namespace {

using testsupport::FileMode;
using testsupport::PathExists;
using testsupport::ReadFile;
using testsupport::WriteFile;
using ZbCassandra::MaskSecretValues;

constexpr const char kNotErased[] = "Failed to erase an entry from the map";

TEST(SecretKeys, MaskingHidesEveryFormOfASecretValue) {
  const std::pair<std::string, std::string> cases[] = {
      {"priam.jmx.token=abc\n", "priam.jmx.token=********\n"},
      {"priam.cqlusername=u\npriam.cqluserpassword=p==\n",
       "priam.cqlusername=u\npriam.cqluserpassword=********\n"},
      {"#priam.keystore.password=k\n", "#priam.keystore.password=********\n"},
      {"priam.truststore.password = t\n", "priam.truststore.password********\n"},
      {"priam.server.kspasswd=\n", "priam.server.kspasswd=********\n"},
      {"priam.server.tspasswd", "priam.server.tspasswd"},
      {"priam.jmx.token=a\\\n  continued\\\n  more\nnext=1\n",
       "priam.jmx.token=********\n********\n********\nnext=1\n"},
      {"priam.jmx.token=a\\\\\nnext=1", "priam.jmx.token=********\nnext=1"},
      {"plain=1\n\n", "plain=1\n\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskSecretValues(c.first), c.second) << c.first;
}

using SecretRemoval = testsupport::PropertiesFileTest;

constexpr const char kAllSecrets[] =
    "priam.truststore.password=ts\n"
    "priam.cqlhost=h\n"
    "priam.cqluserpassword=cp\n"
    "\n"
    "priam.jmx.token=tok\n"
    "priam.cqlport=9042\n"
    "priam.server.kspasswd=sk\n"
    "priam.cqlusername=u\n"
    "priam.server.tspasswd=st\n"
    "priam.jmx.port=7199\n"
    "priam.keystore.password=kp\n"
    "priam.jmx.user=j\n"
    "priam.cqluserpassword=second line\n"
    "other=a==\n";

constexpr const char kWithoutSecrets[] =
    "other=a==\n"
    "priam.cqlhost=h\n"
    "priam.cqlport=9042\n"
    "priam.cqlusername=u\n"
    "priam.jmx.port=7199\n"
    "priam.jmx.user=j\n";

TEST_F(SecretRemoval, RemovesEverySecretLineAndKeepsTheRestSorted) {
  Given(kAllSecrets);
  testsupport::ScopedLogCapture log(0);
  ASSERT_FALSE(controller->deleteEntries().IsError());
  EXPECT_EQ(Now(), kWithoutSecrets);
  EXPECT_EQ(FileMode(PropertiesPath()), 0600);
  EXPECT_TRUE(log->Texts().empty());

  // A second call finds nothing to erase and leaves the content as it is.
  ASSERT_FALSE(controller->deleteEntries().IsError());
  EXPECT_EQ(Now(), kWithoutSecrets);
  EXPECT_EQ(log->Texts(), std::vector<std::string>(6, kNotErased));
  EXPECT_EQ(log->Texts(0).size(), 6u);
}

TEST_F(SecretRemoval, AFileWithoutSecretsIsStillRewrittenInKeyOrder) {
  Given("b=2\n\nno entry\na=1\n");
  testsupport::ScopedLogCapture log(0);
  ASSERT_FALSE(controller->deleteEntries().IsError());
  EXPECT_EQ(Now(), "a=1\nb=2\n");
  EXPECT_EQ(log->Count(kNotErased), 6);
}

TEST_F(SecretRemoval, FailuresAreReportedSoTheCallerKnowsSecretsMayRemain) {
  Given(kAllSecrets);
  {
    // The rewrite is smaller than the file; the limit stops it at the start.
    testsupport::ScopedFileSizeLimit limit(1);
    const CYrError error = controller->deleteEntries();
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kInvalidData));
    EXPECT_EQ(error.Message(), "Failed to write " + PropertiesPath() + " file");
    EXPECT_NE(error.Frames()[0].function.find("deleteEntries"), std::string::npos);
  }
  EXPECT_EQ(Now(), kAllSecrets);
  // No temporary file is left beside them.
  EXPECT_EQ(testsupport::DirectoryNames(confDir.path()),
            (std::set<std::string>{"zbPriam.lock", "zbPriam.properties", "zbPriam.sidecar",
                                   "zbPriamlog4j.properties"}));

  std::remove(PropertiesPath().c_str());
  const CYrError error = controller->deleteEntries();
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kInvalidData));
  EXPECT_EQ(error.Message(), "Failed to open " + PropertiesPath() + " file");
  EXPECT_FALSE(PathExists(PropertiesPath()));
}

TEST_F(SecretRemoval, HugeAndBinaryFilesGiveTheRightResult) {
  const std::string binaryLine("bin\0ary=\xff\x01\n", 11);
  std::string content = binaryLine;
  const std::string line = "=" + std::string(1000, 'v') + "\n";
  content.reserve(101u << 20);
  for (int i = 0; content.size() < (100u << 20); ++i) content += "k" + std::to_string(i) + line;
  Given(content + "priam.jmx.token=tok\n");
  ASSERT_FALSE(controller->deleteEntries().IsError());
  const std::string now = Now();
  EXPECT_EQ(now.find("priam.jmx.token"), std::string::npos);
  EXPECT_EQ(now.substr(0, binaryLine.size()), binaryLine);
  EXPECT_EQ(now.size(), content.size());
}

// The sidecar's output can fill the filesystem to its last block: no room
// for a new copy of the file, but its shorter content fits its own blocks.
TEST(SecretRemovalOnAFullFilesystem, TakesTheSecretsOutInPlace) {
  testsupport::SmallFilesystem filesystem(8 << 20);
  if (!filesystem.mounted()) GTEST_SKIP() << filesystem.refusal();
  const std::string path = filesystem.file("zbPriam.properties");
  WriteFile(path, kAllSecrets, 0644);
  filesystem.FillUp("filler");
  testsupport::ScopedLogCapture log(0);
  int absent = -1;
  CYrError error = ZbCassandra::RemoveSecretEntries(path, &absent);
  ASSERT_FALSE(error.IsError()) << error.AsString();
  EXPECT_EQ(ReadFile(path), kWithoutSecrets);
  EXPECT_EQ(absent, 0);
  EXPECT_EQ(FileMode(path), 0600);
  EXPECT_EQ(log->Texts(0), std::vector<std::string>{"No space for a new copy of " + path +
                                                    "; its secret entries were removed in place"});
  EXPECT_EQ(testsupport::DirectoryNames(filesystem.path()),
            (std::set<std::string>{"filler", "zbPriam.properties"}));

  // A rewrite that would grow the file (a last line gains its LF) could be
  // cut short in place: it fails, and the file stays as it was.
  WriteFile(path, "b=2\na=1", 0644);
  error = ZbCassandra::RemoveSecretEntries(path, &absent);
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kInvalidData));
  EXPECT_EQ(error.Message(), "Failed to write " + path + " file");
  EXPECT_EQ(ReadFile(path), "b=2\na=1");
}

// Every secret the host hands over, through the whole life of the file,
// stays out of the log even at its most detailed level.
TEST_F(SecretRemoval, NoSecretValueReachesTheLog) {
  const std::vector<std::string> secrets = {"cql-pw-1", "jmx-tok-2", "ks-3",
                                            "ts-4",     "kstore-5",  "tstore-6"};
  testsupport::ScopedLogCapture log(3);
  auto second = MakeController();  // set-up logged at level 3 too
  std::map<std::string, std::string> properties = {{"priam.cqlport", "9042"},
                                                   {"priam.jmx.user", "admin"}};
  for (size_t i = 0; i < secrets.size(); ++i) {
    properties[ZbCassandra::kSecretKeys[i]] = secrets[i];
  }
  ASSERT_FALSE(second->writePriamProperties(properties).IsError());
  ASSERT_FALSE(second->writePriamProperty("10.1.1.1").IsError());
  ASSERT_FALSE(
      second->AddOrUpdateFieldInConfigFile(PropertiesPath(), "priam.jmx.token", "jmx-tok-2")
          .IsError());
  ASSERT_FALSE(second->deleteEntries().IsError());
  EXPECT_EQ(Now().find("priam.jmx.token"), std::string::npos);

  const std::string all = log->AllText();
  EXPECT_NE(all.find(" Content [priam.backup.threads=2\n"), std::string::npos);
  for (const std::string& secret : secrets) {
    EXPECT_EQ(all.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
