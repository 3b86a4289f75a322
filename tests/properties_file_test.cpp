#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "FXErrorUtil.h"
#include "PriamConfFixture.h"
#include "TempDir.h"
#include "common/ErrorCodes.h"
#include "priamconf/PropertiesFile.h"

namespace {

using testsupport::FileMode;
using testsupport::ReadFile;
using testsupport::TempDir;
using namespace ZbCassandra;

TEST(PropertiesFormat, ParsesEachLineAtItsFirstEquals) {
  PropertyMap entries;
  ParseProperties(
      "b=2\n"
      "\n"
      "no equals here\n"
      "pw=YWJj==\n"
      "url=a=b=c\n"
      "b=3\n"
      "empty=\n"
      "=nokey\n"
      "#c=4\n"
      "cr=x\r\n"
      "last=no LF",
      entries);
  const PropertyMap expected = {{"b", "3"},    {"pw", "YWJj=="}, {"url", "a=b=c"},
                                {"empty", ""}, {"", "nokey"},    {"#c", "4"},
                                {"cr", "x\r"}, {"last", "no LF"}};
  EXPECT_EQ(entries, expected);
}

// A file in key order (as this library writes it) and one out of order are
// read alike, into an empty map or over earlier entries.
TEST(PropertiesFormat, KeyOrderOfTheFileDoesNotChangeWhatIsRead) {
  const std::string sorted = "a=1\na=2\nb=x\n\xC3\xA9=high\nz=9\n";
  const std::string unsorted = "z=0\na=1\n\xC3\xA9=high\nb=x\na=2\nz=9\n";
  const PropertyMap expected = {{"a", "2"}, {"b", "x"}, {"\xC3\xA9", "high"}, {"z", "9"}};
  for (const std::string& text : {sorted, unsorted}) {
    PropertyMap entries;
    ParseProperties(text, entries);
    EXPECT_EQ(entries, expected) << text;
  }

  PropertyMap merged = {{"b", "old"}, {"m", "kept"}, {"zz", "kept too"}};
  ParseProperties(unsorted, merged);
  EXPECT_EQ(merged, (PropertyMap{{"a", "2"},
                                 {"b", "x"},
                                 {"m", "kept"},
                                 {"z", "9"},
                                 {"zz", "kept too"},
                                 {"\xC3\xA9", "high"}}));
}

TEST(PropertiesFormat, WritesOneLinePerKeyInByteOrder) {
  const PropertyMap entries = {{"b", "2"}, {"B", "1"}, {"a", "x=y"}, {"_", ""}};
  EXPECT_EQ(FormatProperties(entries), "B=1\n_=\na=x=y\nb=2\n");
  EXPECT_EQ(FormatProperties({}), "");
}

TEST(PropertiesFile, ReadsAndRewritesOwnerOnly) {
  TempDir dir;
  const std::string path = dir.write("zbPriam.properties", "z=1\n\nA=2\nz=3\n");
  PropertyMap entries;
  ASSERT_FALSE(ReadPropertiesFile(path, entries).IsError());
  EXPECT_EQ(entries, (PropertyMap{{"A", "2"}, {"z", "3"}}));

  entries["m"] = "v==";
  ASSERT_FALSE(WritePropertiesFile(path, entries).IsError());
  EXPECT_EQ(ReadFile(path), "A=2\nm=v==\nz=3\n");
  EXPECT_EQ(FileMode(path), 0600);
  EXPECT_EQ(testsupport::DirectoryNames(dir.path()), std::set<std::string>{"zbPriam.properties"});
}

TEST(PropertiesFile, ReadFailuresAreErrorsNotEmptyFiles) {
  TempDir dir;
  PropertyMap entries;
  const std::string missing = dir.file("zbPriam.properties");
  CYrError error = ReadPropertiesFile(missing, entries);
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kInvalidData));
  EXPECT_EQ(error.Message(), "Failed to open " + missing + " file");
  EXPECT_FALSE(testsupport::PathExists(missing));

  // Opens, but reads nothing: a directory, and a FIFO (which must not hang).
  error = ReadPropertiesFile(dir.path(), entries);
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kInvalidData));
  EXPECT_EQ(error.Message(), "Failed to read " + dir.path() + " file");
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  error = ReadPropertiesFile(fifo, entries);
  EXPECT_EQ(error.Message(), "Failed to read " + fifo + " file");
  EXPECT_TRUE(entries.empty());
}

TEST(PropertiesFile, AFailedRewriteIsReportedAndLeavesTheOldFileWhole) {
  TempDir dir;
  const std::string old = "priam.jmx.token=secret\n";
  const std::string path = dir.write("zbPriam.properties", old);
  const PropertyMap bigger = {{"priam.jmx.token", "secret"}, {"more", std::string(64, 'x')}};
  {
    testsupport::ScopedFileSizeLimit limit(old.size());
    const CYrError error = WritePropertiesFile(path, bigger);
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, kInvalidData));
    EXPECT_EQ(error.Message(), "Failed to write " + path + " file");
  }
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(testsupport::DirectoryNames(dir.path()), std::set<std::string>{"zbPriam.properties"});

  // A path whose directory is a regular file; a directory in the file's place.
  const std::string below = path + "/zbPriam.properties";
  EXPECT_EQ(WritePropertiesFile(below, bigger).Message(), "Failed to write " + below + " file");
  EXPECT_EQ(WritePropertiesFile(dir.path(), bigger).Message(),
            "Failed to write " + dir.path() + " file");
  EXPECT_EQ(ReadFile(path), old);
}

}  // namespace
