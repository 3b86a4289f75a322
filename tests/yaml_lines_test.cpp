#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "TempDir.h"
#include "discovery/TextFileLines.h"
#include "discovery/YamlLines.h"

namespace {

using testsupport::TempDir;
using ZbCassandra::TextFileLines;

std::vector<std::string> AllLines(const std::string& path) {
  TextFileLines lines;
  EXPECT_TRUE(lines.Open(path));
  std::vector<std::string> all;
  std::string line;
  while (lines.Next(line)) all.push_back(line);
  return all;
}

TEST(YamlLines, KeyLineIsTheKeyBeforeAnyCommentSign) {
  using ZbCassandra::IsYamlKeyLine;
  EXPECT_TRUE(IsYamlKeyLine("seeds: a", "seeds"));
  EXPECT_TRUE(IsYamlKeyLine("      - seeds: \"a,b\"", "seeds"));
  EXPECT_TRUE(IsYamlKeyLine("seeds: a # the seeds", "seeds"));
  EXPECT_TRUE(IsYamlKeyLine("native_transport_port_ssl: 9142", "native_transport_port"));
  EXPECT_FALSE(IsYamlKeyLine("# seeds: a", "seeds"));
  EXPECT_FALSE(IsYamlKeyLine("      # seeds is actually a comma-delimited list", "seeds"));
  EXPECT_FALSE(IsYamlKeyLine("x: 1 # seeds", "seeds"));
  EXPECT_FALSE(IsYamlKeyLine("Seeds: a", "seeds"));
  EXPECT_FALSE(IsYamlKeyLine("", "seeds"));
}

TEST(YamlLines, CommentLineBeginsWithHashAfterLeadingWhiteSpace) {
  using ZbCassandra::IsYamlCommentLine;
  EXPECT_TRUE(IsYamlCommentLine("# x"));
  EXPECT_TRUE(IsYamlCommentLine("   \t#x"));
  EXPECT_FALSE(IsYamlCommentLine("x # y"));
  EXPECT_FALSE(IsYamlCommentLine(""));
  EXPECT_FALSE(IsYamlCommentLine("   "));
}

TEST(YamlLines, ScalarValueRunsFromTheFirstColonToTheNext) {
  std::string value = "untouched";
  EXPECT_FALSE(ZbCassandra::YamlScalarValue("      - seeds", &value));
  EXPECT_EQ(value, "untouched");
  ASSERT_TRUE(ZbCassandra::YamlScalarValue("- seeds: \"10.0.0.1:7000,10.0.0.2:7000\"", &value));
  EXPECT_EQ(value, " \"10.0.0.1");
  ASSERT_TRUE(ZbCassandra::YamlScalarValue("native_transport_port: 9042 # cql", &value));
  EXPECT_EQ(value, " 9042 # cql");
  ASSERT_TRUE(ZbCassandra::YamlScalarValue("seeds:", &value));
  EXPECT_EQ(value, "");
}

TEST(YamlLines, TrimRemovesBlanksTabsLineFeedsAndQuotesButNotCarriageReturns) {
  EXPECT_EQ(ZbCassandra::TrimYamlValue(" \t\"/data\"\n "), "/data");
  EXPECT_EQ(ZbCassandra::TrimYamlValue(" 9042\r"), "9042\r");
  EXPECT_EQ(ZbCassandra::TrimYamlValue(" \"\" "), "");
}

TEST(YamlLines, AListItemIsTheTextAfterTheFirstDashOfAnyLineThatHasOne) {
  // The key line's own text is not an item; a next key holding a "-" is one.
  TempDir dir;
  TextFileLines lines;
  ASSERT_TRUE(lines.Open(dir.write("c.yaml",
                                   "data_file_directories: - /x\n  - /a\n"
                                   "hints_directory: /var/lib/my-hints\n"
                                   "saved_caches_directory: /s\n")));
  std::string keyLine;
  ASSERT_TRUE(ZbCassandra::FindYamlKeyLine(lines, "data_file_directories", &keyLine));
  EXPECT_EQ(ZbCassandra::ReadYamlList(lines), (std::vector<std::string>{" /a", "hints"}));
}

TEST(TextFileLines, SplitsAtLineFeedsAndKeepsCarriageReturns) {
  TempDir dir;
  EXPECT_EQ(AllLines(dir.write("a", "one\r\n\ntwo")),
            (std::vector<std::string>{"one\r", "", "two"}));
  EXPECT_EQ(AllLines(dir.write("empty", "")), std::vector<std::string>{});
  const std::string binary("\0\x01\xff\n\0\0", 6);
  EXPECT_EQ(AllLines(dir.write("binary", binary)),
            (std::vector<std::string>{std::string("\0\x01\xff", 3), std::string("\0\0", 2)}));
}

TEST(TextFileLines, WhatIsNotAReadableRegularFileDoesNotOpen) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string file = dir.write("file", "x\n");
  for (const std::string& path : {dir.path(), dir.file("missing"), fifo, file + "/below",
                                  std::string(), std::string("/dev/zero")}) {
    TextFileLines lines;
    EXPECT_FALSE(lines.Open(path)) << path;
  }
}

}  // namespace
