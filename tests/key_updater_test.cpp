#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "CapturingLogWriter.h"
#include "FXErrorUtil.h"
#include "PriamConfFixture.h"
#include "PriamUtil.h"
#include "TempDir.h"
#include "common/ErrorCodes.h"
#include "priamconf/KeyUpdate.h"

namespace {

using testsupport::FileMode;
using testsupport::ReadFile;
using testsupport::TempDir;
using ZbCassandra::PriamUtil;
using ZbCassandra::SetKeyInText;

struct UpdateCase {
  const char* name;
  std::string content;
  std::string key;
  std::string value;
  std::string expected;
};

TEST(SetKeyInText, EditsOnlyTheLinesOfTheKey) {
  const UpdateCase cases[] = {
      {"absent key is appended", "a=1\nb=2\n", "k", "v", "a=1\nb=2\nk=v\n"},
      {"append after content without LF", "a=1", "k", "v", "a=1\nk=v\n"},
      {"append to empty content", "", "k", "v", "k=v\n"},
      {"one line in the middle", "a=1\nk=old\nb=2\n", "k", "new", "a=1\nk=new\nb=2\n"},
      {"key on two lines", "k=1\na=2\nk=3\n", "k", "v", "k=v\na=2\nk=v\n"},
      {"last line without LF", "a=1\nk=old", "k", "new", "a=1\nk=new\n"},
      {"blanks around = append the entry", "k = old\n", "k", "new", "k = old\nk=new\n"},
      {"key only without =", "# k is set below\n", "k", "new", "# k is set below\nk=new\n"},
      {"commented line keeps its #", "#k=old\nk=x\n", "k", "v", "#k=v\nk=v\n"},
      {"tail of a longer key", "my.k=old\n", "k", "v", "my.k=v\n"},
      {"empty value", "k=old\n", "k", "", "k=\n"},
      {"CRLF line replaced through its LF", "k=old\r\nb=2\r\n", "k", "v", "k=v\nb=2\r\n"},
      {"regex substitutions are plain text", "priam.cqlhost=old\n", "priam.cqlhost", "p$&q$1$`$'$$",
       "priam.cqlhost=p$&q$1$`$'$$\n"},
      {"a . in the key matches only .", "priamXcqlhost=old\n", "priam.cqlhost", "h",
       "priamXcqlhost=old\npriam.cqlhost=h\n"},
      {"dotted key among look-alikes", "aXb=1\na.b=2\n", "a.b", "v", "aXb=1\na.b=v\n"},
  };
  for (const UpdateCase& c : cases) {
    EXPECT_EQ(SetKeyInText(c.content, c.key, c.value), c.expected) << c.name;
  }
}

// On the content this system writes, the result is what the historical
// regex_replace over key + "=.*\n" gave.
TEST(SetKeyInText, MatchesTheRegexOnOrdinaryContent) {
  const std::string contents[] = {
      "log4j.rootLogger=INFO, R\nlog4j.appender.R.File=/x\n",
      "a=1\nlog4j.rootLogger=DEBUG, R\n#log4j.rootLogger=x\nb=2\n",
      "x.log4j.rootLogger=1\nlog4j.rootLogger = spaced\n",
  };
  const std::string key = "log4j.rootLogger";
  const std::string value = "INFO, R";
  for (const std::string& content : contents) {
    const std::string viaRegex =
        std::regex_replace(content, std::regex(key + "=.*\n"), key + "=" + value + "\n");
    EXPECT_EQ(SetKeyInText(content, key, value), viaRegex) << content;
  }
}

// A 50,000-character line overflowed the stack of the regex this replaced.
TEST(SetKeyInText, HandlesVeryLongLines) {
  const std::string longValue(1 << 20, 'x');
  const std::string content = "a=1\npriam.cqlhost=" + longValue + "\nb=" + longValue;
  EXPECT_EQ(SetKeyInText(content, "priam.cqlhost", "h"), "a=1\npriam.cqlhost=h\nb=" + longValue);
  EXPECT_EQ(SetKeyInText(content, "b", "2"), "a=1\npriam.cqlhost=" + longValue + "\nb=2\n");
}

class KeyUpdaterFile : public ::testing::Test {
 protected:
  // No configuration directory: construction touches no file.
  PriamUtil controller{0, CYrString("/usr/bin/java"), "", "", "", false};
  TempDir dir;
};

TEST_F(KeyUpdaterFile, RewritesTheFileOwnerOnlyAndLogsItsContentAtLevelThree) {
  const std::string path = dir.write("zbPriamlog4j.properties", "a=1\nlog4j.rootLogger=INFO, R\n");
  testsupport::ScopedLogCapture log(3);
  ASSERT_FALSE(
      controller.AddOrUpdateFieldInConfigFile(path, "log4j.rootLogger", "DEBUG, R").IsError());
  EXPECT_EQ(ReadFile(path), "a=1\nlog4j.rootLogger=DEBUG, R\n");
  EXPECT_EQ(FileMode(path), 0600);
  EXPECT_EQ(log->Texts(3), std::vector<std::string>{" Content [a=1\nlog4j.rootLogger=DEBUG, R\n]"});
  EXPECT_EQ(testsupport::DirectoryNames(dir.path()),
            std::set<std::string>{"zbPriamlog4j.properties"});

  // Below level 3 the content is not logged.
  log->SetLevel(2);
  log->Clear();
  ASSERT_FALSE(controller.AddOrUpdateFieldInConfigFile(path, "b", "2").IsError());
  EXPECT_TRUE(log->Texts().empty());
}

TEST_F(KeyUpdaterFile, MasksSecretValuesInTheContentLine) {
  const std::string path =
      dir.write("zbPriam.properties", "priam.jmx.token=tok-1\npriam.cqluserpassword=pw-2\n");
  testsupport::ScopedLogCapture log(3);
  ASSERT_FALSE(controller.AddOrUpdateFieldInConfigFile(path, "priam.cqlport", "9042").IsError());
  EXPECT_EQ(log->Texts(3),
            std::vector<std::string>{" Content [priam.jmx.token=********\n"
                                     "priam.cqluserpassword=********\npriam.cqlport=9042\n]"});
  EXPECT_EQ(ReadFile(path),
            "priam.jmx.token=tok-1\npriam.cqluserpassword=pw-2\npriam.cqlport=9042\n");
}

TEST_F(KeyUpdaterFile, RefusesAKeyOrValueThatWouldBreakTheLineFormat) {
  const std::string path = dir.write("f.properties", "a=1\n");
  const std::pair<std::string, std::string> bad[] = {{"", "v"},     {"a=b", "v"},    {"a\nb", "v"},
                                                     {"a\rb", "v"}, {"a", "x\nb=2"}, {"a", "x\r"}};
  for (const auto& property : bad) {
    const CYrError error =
        controller.AddOrUpdateFieldInConfigFile(path, property.first, property.second);
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kInvalidParameter)) << property.first;
    EXPECT_EQ(error.Message(), "Invalid property " + property.first);
  }
  EXPECT_EQ(ReadFile(path), "a=1\n");
}

TEST_F(KeyUpdaterFile, AFileThatCannotBeReadIsReportedAndNotCreated) {
  const std::string missing = dir.file("missing.properties");
  CYrError error = controller.AddOrUpdateFieldInConfigFile(missing, "k", "v");
  EXPECT_TRUE(error.IsError());
  ASSERT_FALSE(error.Frames().empty());
  EXPECT_NE(error.Frames()[0].function.find("AddOrUpdateFieldInConfigFile"), std::string::npos);
  EXPECT_FALSE(testsupport::PathExists(missing));

  // A directory where the file should be, and a path below a regular file.
  EXPECT_TRUE(controller.AddOrUpdateFieldInConfigFile(dir.path(), "k", "v").IsError());
  const std::string plain = dir.write("plain", "x=1\n");
  EXPECT_TRUE(controller.AddOrUpdateFieldInConfigFile(plain + "/f", "k", "v").IsError());
  EXPECT_EQ(ReadFile(plain), "x=1\n");
}

TEST_F(KeyUpdaterFile, AFailedWriteLeavesTheOldFileWhole) {
  const std::string old = "a=1\nk=short\n";
  const std::string path = dir.write("f.properties", old);
  {
    testsupport::ScopedFileSizeLimit limit(old.size());
    const CYrError error =
        controller.AddOrUpdateFieldInConfigFile(path, "k", std::string(100, 'v'));
    EXPECT_TRUE(error.IsError());
  }
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(testsupport::DirectoryNames(dir.path()), std::set<std::string>{"f.properties"});
}

TEST_F(KeyUpdaterFile, BinaryContentComesThroughIntact) {
  const char before[] = "\0\x01\xff=\0\nk=old\n\x80\x81";
  const char after[] = "\0\x01\xff=\0\nk=new\n\x80\x81";
  const std::string path = dir.write("bin.properties", std::string(before, sizeof(before) - 1));
  ASSERT_FALSE(controller.AddOrUpdateFieldInConfigFile(path, "k", "new").IsError());
  EXPECT_EQ(ReadFile(path), std::string(after, sizeof(after) - 1));
}

}  // namespace
