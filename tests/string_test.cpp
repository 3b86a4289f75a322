#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CYrString.h"
#include "FXString.h"

namespace {

// The sets the controller trims YAML values and command output with.
constexpr const char* kValueSet = " \t\n\"";
constexpr const char* kNewline = "\n";

std::string Trimmed(std::string text, const char* set) {
  FXString::Trim(text, set);
  return text;
}

std::string RightTrimmed(std::string text, const char* set) {
  FXString::TrimRight(text, set);
  return text;
}

std::vector<std::string> Pieces(const std::string& text, const std::string& separator) {
  std::vector<std::string> pieces;
  FXString::Split(text, separator, pieces, 0);
  return pieces;
}

using Strings = std::vector<std::string>;

TEST(FXString, TrimRemovesTheSetFromBothEndsOnly) {
  EXPECT_EQ(Trimmed(" \t\"/var/lib/cassandra/data\"\n", kValueSet), "/var/lib/cassandra/data");
  EXPECT_EQ(Trimmed("a \"quoted\" word", kValueSet), "a \"quoted\" word");
  EXPECT_EQ(Trimmed(" \"\t\n\" ", kValueSet), "");
  EXPECT_EQ(Trimmed("", kValueSet), "");
  EXPECT_EQ(Trimmed("x", kValueSet), "x");
  EXPECT_EQ(Trimmed("  x  ", ""), "  x  ");
}

TEST(FXString, TrimRightLeavesTheLeftEnd) {
  EXPECT_EQ(RightTrimmed("\n/usr/bin/java\n\n", kNewline), "\n/usr/bin/java");
  EXPECT_EQ(RightTrimmed("\n\n\n", kNewline), "");
  EXPECT_EQ(RightTrimmed("", kNewline), "");
  EXPECT_EQ(RightTrimmed("9042 \n", kNewline), "9042 ");
}

TEST(FXString, TrimWithoutASetChangesNothing) {
  std::string text = " a ";
  FXString::Trim(text, nullptr);
  FXString::TrimRight(text, nullptr);
  EXPECT_EQ(text, " a ");
}

TEST(FXString, SplitGivesOnePieceMoreThanSeparators) {
  EXPECT_EQ(Pieces("key=value", "="), (Strings{"key", "value"}));
  EXPECT_EQ(Pieces("key=", "="), (Strings{"key", ""}));
  EXPECT_EQ(Pieces("=value", "="), (Strings{"", "value"}));
  EXPECT_EQ(Pieces("a=b=c", "="), (Strings{"a", "b", "c"}));
  EXPECT_EQ(Pieces("no separator", "="), (Strings{"no separator"}));
  EXPECT_EQ(Pieces("a::b::", "::"), (Strings{"a", "b", ""}));
  EXPECT_EQ(Pieces("a  b", " "), (Strings{"a", "", "b"}));
}

TEST(FXString, SplitOfNothingGivesNoPiece) {
  EXPECT_TRUE(Pieces("", "=").empty());
  EXPECT_EQ(Pieces("abc", ""), (Strings{"abc"}));
}

TEST(FXString, SplitAppendsAndKeepsEarlierPieces) {
  std::vector<std::string> pieces{"kept"};
  FXString::Split("a=b", "=", pieces, 0);
  FXString::Split("", "=", pieces, 0);
  FXString::Split("c", "=", pieces, 0);
  EXPECT_EQ(pieces, (Strings{"kept", "a", "b", "c"}));
}

TEST(FXString, FormatHasNoLengthLimit) {
  const std::string big(1 << 20, 'y');
  const std::string text = FXString::Format("[%s] %d %s %%", big.c_str(), -42, "end");
  EXPECT_EQ(text, "[" + big + "] -42 end %");
  EXPECT_EQ(FXString::Format("%s", ""), "");
  EXPECT_EQ(FXString::Format("http://localhost:%d/REST", 8080), "http://localhost:8080/REST");
}

TEST(CYrString, NullTextIsEmptyNeverNull) {
  CYrString none(static_cast<const char*>(nullptr));
  ASSERT_NE(none.c_str(), nullptr);
  EXPECT_STREQ(none.c_str(), "");
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_EQ(none.Length(), 0u);

  CYrString text("java");
  text = static_cast<const char*>(nullptr);
  EXPECT_STREQ(text.c_str(), "");
  EXPECT_STREQ(CYrString().c_str(), "");

  CYrString copy;
  copy = CYrString("/usr/bin/java");
  EXPECT_STREQ(copy.c_str(), "/usr/bin/java");
  EXPECT_EQ(copy.Length(), 13u);
}

TEST(CYrString, LTrimAndRTrimRemoveEveryOccurrenceAtTheirEnd) {
  CYrString text("\n\njava\n\n");
  EXPECT_STREQ(text.LTrim('\n').c_str(), "java\n\n");
  EXPECT_STREQ(text.RTrim('\n').c_str(), "java");
  CYrString onlyNewlines("\n\n");
  EXPECT_TRUE(onlyNewlines.RTrim('\n').IsEmpty());
  CYrString again("\n\n");
  EXPECT_TRUE(again.LTrim('\n').IsEmpty());
  CYrString inner("a\nb");
  EXPECT_STREQ(inner.LTrim('\n').RTrim('\n').c_str(), "a\nb");
}

TEST(CYrString, LTrimAllRemovesLeadingWhiteSpaceAndChains) {
  CYrString line(" \t \r\n# seeds: \"10.0.0.1\"");
  EXPECT_EQ(line.LTrimAll().Find('#', 0), 0);
  EXPECT_STREQ(line.c_str(), "# seeds: \"10.0.0.1\"");
  CYrString blank(" \t\n");
  EXPECT_TRUE(blank.LTrimAll().IsEmpty());
}

TEST(CYrString, FindNotFoundIsNeverZero) {
  const CYrString line("data_file_directories:");
  EXPECT_EQ(line.Find('d', 0), 0);
  EXPECT_EQ(line.Find(':', 0), 21);
  EXPECT_EQ(line.Find('d', 1), 10);
  EXPECT_NE(line.Find('#', 0), 0);
  EXPECT_EQ(line.Find('#', 0), CYrString::kNotFound);
  EXPECT_EQ(line.Find('d', 1000), CYrString::kNotFound);
  EXPECT_EQ(CYrString().Find('#', 0), CYrString::kNotFound);
}

}  // namespace
