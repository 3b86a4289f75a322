// The pieces of priamctl whose faults the end-to-end runs would hide.
#include <gtest/gtest.h>

#include <cstdlib>

#include "JsonOutput.h"
#include "PropertySources.h"
#include "StatusLine.h"
#include "TableOutput.h"
#include "TempDir.h"

namespace priamctl {
namespace {

using Properties = std::map<std::string, std::string>;

TEST(PropertySources, LaterSourcesWinAndValuesKeepEveryCharacter) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir.file("all"), "# comment\n\na=file\nb=file\nc=file\nd=x=y \r\n", 0600);
  testsupport::WriteFile(dir.file("secret"), "from=file\n", 0600);
  setenv("PRIAMCTL_TEST_VALUE", " spaced = env ", 1);
  PropertySources sources;
  sources.propertiesFile = dir.file("all");
  sources.inlineValues = {"b=inline", "c=inline", "e="};
  sources.fromEnv = {"c=PRIAMCTL_TEST_VALUE"};
  sources.fromFile = {"f=" + dir.file("secret")};
  Properties result;
  std::string error;
  ASSERT_TRUE(CollectProperties(sources, &result, &error)) << error;
  EXPECT_EQ(result, (Properties{{"a", "file"},
                                {"b", "inline"},
                                {"c", " spaced = env "},
                                {"d", "x=y "},
                                {"e", ""},
                                {"f", "from=file"}}));
}

TEST(PropertySources, ErrorsNeverRepeatAnInlineValue) {
  PropertySources sources;
  sources.inlineValues = {"no-equals-sign-S3cret"};
  Properties result;
  std::string error;
  EXPECT_FALSE(CollectProperties(sources, &result, &error));
  EXPECT_EQ(error.find("S3cret"), std::string::npos) << error;
}

TEST(PropertySources, PropertiesFileMustBeOwnerOnly) {
  testsupport::TempDir dir;
  for (const int mode : {0640, 0604, 0660}) {
    testsupport::WriteFile(dir.file("p"), "a=b\n", mode);
    PropertySources sources;
    sources.propertiesFile = dir.file("p");
    Properties result;
    std::string error;
    EXPECT_FALSE(CollectProperties(sources, &result, &error)) << mode;
    EXPECT_TRUE(result.empty());
  }
}

TEST(TableOutput, ColumnsLineUpAndContinuationLinesIndent) {
  EXPECT_EQ(FormatTable({{"a", "1"}, {"longer", "two\nlines"}}),
            "a       1\n"
            "longer  two\n"
            "        lines\n");
  NodeFacts facts;
  facts.cqlPort = "9042";
  const std::string table = NodeFactsTable(facts);
  EXPECT_NE(table.find("Seeds             -\n"), std::string::npos) << table;
  EXPECT_NE(table.find("CQL host          - (nothing listens"), std::string::npos);
}

TEST(JsonOutput, OnlyObjectsAndArraysAreReformatted) {
  EXPECT_EQ(PrettyReply("{\"a\":[1,2]}"), "{\n  \"a\": [\n    1,\n    2\n  ]\n}");
  for (const std::string text : {"Not Found", "42", "\"quoted\"", "{broken", ""}) {
    EXPECT_EQ(PrettyReply(text), text);
  }
  EXPECT_EQ(PrettyReply("[\"\xff\"]"), "[\"\xff\"]") << "not JSON: invalid UTF-8, shown as it came";
}

// What a terminal shows for `output`: a carriage return moves back to the
// start of the line, a character overwrites the one under it; trailing
// blanks are dropped.
std::vector<std::string> TerminalLines(const std::string& output) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (const char c : output) {
    std::string& line = lines.back();
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      line.erase(line.find_last_not_of(' ') + 1);
      lines.emplace_back();
      column = 0;
    } else {
      if (column >= line.size()) line.resize(column + 1, ' ');
      line[column++] = c;
    }
  }
  lines.back().erase(lines.back().find_last_not_of(' ') + 1);
  return lines;
}

// A stream in memory, and what was written to it.
struct MemoryStream {
  MemoryStream() : stream(open_memstream(&buffer, &size)) {}
  ~MemoryStream() {
    fclose(stream);
    free(buffer);
  }
  std::string Text() {
    fflush(stream);
    return std::string(buffer, size);
  }
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream;
};

TEST(StatusLine, LinesWrittenWhileTheStatusShowsStayWhole) {
  {
    MemoryStream terminal;
    StatusLine status;
    status.Show(terminal.stream, "Waiting | 0s", true);
    status.WriteLine(terminal.stream, "first log line\n");
    status.Show(terminal.stream, "Waiting / 12s", true);
    status.Show(terminal.stream, "Waiting - 3s", true);
    status.Around(terminal.stream, [&] { fputs("second\n", terminal.stream); });
    status.End();
    EXPECT_EQ(TerminalLines(terminal.Text()),
              (std::vector<std::string>{"first log line", "second", ""}));
  }
  {
    MemoryStream file;
    MemoryStream other;
    StatusLine status;
    status.Show(file.stream, "Waiting ", false);
    status.Show(file.stream, "Waiting .", false);
    status.WriteLine(other.stream, "elsewhere\n");
    status.WriteLine(file.stream, "log\n");
    status.Show(file.stream, "Waiting ..", false);
    status.End();
    EXPECT_EQ(file.Text(), "Waiting .\nlog\nWaiting ..\n");
    EXPECT_EQ(other.Text(), "elsewhere\n");
  }
}

}  // namespace
}  // namespace priamctl
