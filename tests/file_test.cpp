#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CYrFile.h"
#include "CYrPath.h"
#include "TempDir.h"

namespace {

using testsupport::FileMode;
using testsupport::PathExists;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

// The names in a directory, "." and ".." left out.
std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

int OpenDescriptors() { return static_cast<int>(Names("/proc/self/fd").size()); }

struct Contents {
  std::unique_ptr<char[]> data;
  uint64_t size = 0;
  CYrError error;
};

Contents ReadWhole(const std::string& path) {
  Contents result;
  char* buffer = reinterpret_cast<char*>(0x1);  // must be overwritten, even on failure
  result.size = 12345;
  result.error = CYrFile::ReadWholeFile(path, &buffer, &result.size);
  result.data.reset(buffer);
  return result;
}

std::string WriteWith(const std::string& path, const std::string& content) {
  CYrFile file;
  CYrError error = file.Open(path, "w");
  if (!error.IsError()) {
    error = file.Write(content.data(), static_cast<uint32_t>(content.size()), nullptr);
  }
  if (!error.IsError()) error = file.Close();
  return error.IsError() ? error.AsString() : std::string();
}

TEST(ReadWholeFile, GivesTheContentFollowedByANul) {
  TempDir dir;
  const std::string text = "listen_address: 10.0.0.1\nnative_transport_port: 9042\n";
  Contents read = ReadWhole(dir.write("cassandra.yaml", text));
  ASSERT_FALSE(read.error.IsError()) << read.error.AsString();
  ASSERT_EQ(read.size, text.size());
  EXPECT_EQ(std::string(read.data.get(), read.size), text);
  EXPECT_EQ(read.data[read.size], '\0');
}

TEST(ReadWholeFile, KeepsBinaryContentWhole) {
  TempDir dir;
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes.push_back(static_cast<char>(i % 256));
  Contents read = ReadWhole(dir.write("blob", bytes));
  ASSERT_FALSE(read.error.IsError()) << read.error.AsString();
  ASSERT_EQ(read.size, bytes.size());
  EXPECT_EQ(memcmp(read.data.get(), bytes.data(), bytes.size()), 0);
  EXPECT_EQ(read.data[read.size], '\0');
}

TEST(ReadWholeFile, AnEmptyFileGivesAnEmptyText) {
  TempDir dir;
  Contents read = ReadWhole(dir.write("empty", ""));
  ASSERT_FALSE(read.error.IsError());
  ASSERT_NE(read.data, nullptr);
  EXPECT_EQ(read.size, 0u);
  EXPECT_STREQ(read.data.get(), "");
}

TEST(ReadWholeFile, ReadsFilesThatReportNoSize) {
  Contents read = ReadWhole("/proc/self/status");
  ASSERT_FALSE(read.error.IsError()) << read.error.AsString();
  EXPECT_GT(read.size, 0u);
  EXPECT_NE(strstr(read.data.get(), "Pid:"), nullptr);
  EXPECT_EQ(strlen(read.data.get()), read.size);
}

TEST(ReadWholeFile, ReadsAHundredMegabytes) {
  TempDir dir;
  const std::string path = dir.file("big");
  const size_t size = 100u << 20;
  {
    std::string block(1 << 20, 'b');
    block.back() = '\n';
    FILE* out = fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    for (size_t done = 0; done < size; done += block.size()) {
      ASSERT_EQ(fwrite(block.data(), 1, block.size(), out), block.size());
    }
    fclose(out);
  }
  Contents read = ReadWhole(path);
  ASSERT_FALSE(read.error.IsError()) << read.error.AsString();
  ASSERT_EQ(read.size, size);
  EXPECT_EQ(read.data[0], 'b');
  EXPECT_EQ(read.data[size - 1], '\n');
  EXPECT_EQ(read.data[size], '\0');
}

TEST(ReadWholeFile, FailsCleanlyOnWhatIsNotARegularFile) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string underFile = dir.write("plain", "x") + "/child";
  const int before = OpenDescriptors();
  for (const std::string& path : {dir.file("missing"), dir.path(), fifo, std::string("/dev/zero"),
                                  underFile, std::string()}) {
    Contents read = ReadWhole(path);  // a FIFO without writer or /dev/zero must not hang
    EXPECT_TRUE(read.error.IsError()) << path;
    EXPECT_EQ(read.data, nullptr) << path;
    EXPECT_EQ(read.size, 0u) << path;
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(ReadWholeFile, NullOutValuesAreRefused) {
  TempDir dir;
  const std::string path = dir.write("f", "x");
  uint64_t size = 0;
  char* buffer = nullptr;
  EXPECT_TRUE(CYrFile::ReadWholeFile(path, nullptr, &size).IsError());
  EXPECT_TRUE(CYrFile::ReadWholeFile(path, &buffer, nullptr).IsError());
}

TEST(CopyFile, ReplacesTheDestinationByANewOwnerOnlyFile) {
  TempDir dir;
  const std::string source = dir.write("zbPriam.properties.template", "priam.cass.host=\n");
  const std::string destination = dir.write("zbPriam.properties", "old content, longer\n");
  ASSERT_EQ(FileMode(destination), 0644);
  // A reader that has the old file open keeps seeing it whole: the copy
  // takes the name over instead of rewriting the old file in place.
  const int reader = open(destination.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);

  CYrError error = CYrFile::Copy(source, destination);
  ASSERT_FALSE(error.IsError()) << error.AsString();
  EXPECT_EQ(ReadFile(destination), "priam.cass.host=\n");
  EXPECT_EQ(FileMode(destination), 0600);
  char old[64] = {};
  EXPECT_EQ(pread(reader, old, sizeof(old) - 1, 0), 20);
  EXPECT_STREQ(old, "old content, longer\n");
  close(reader);
  EXPECT_EQ(Names(dir.path()).size(), 2u);  // no temporary file left
}

TEST(CopyFile, CopiesLargeBinaryFiles) {
  TempDir dir;
  std::string bytes(300000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7) % 251);
  const std::string source = dir.write("in", bytes);
  ASSERT_FALSE(CYrFile::Copy(source, dir.file("out")).IsError());
  EXPECT_EQ(ReadFile(dir.file("out")), bytes);
  EXPECT_EQ(FileMode(dir.file("out")), 0600);
}

TEST(CopyFile, AFailedCopyLeavesTheDestinationUntouched) {
  TempDir dir;
  const std::string destination = dir.write("zbPriam.properties", "keep me\n");
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int before = OpenDescriptors();
  for (const std::string& source : {dir.file("missing"), dir.path(), fifo}) {
    EXPECT_TRUE(CYrFile::Copy(source, destination).IsError()) << source;
    EXPECT_EQ(ReadFile(destination), "keep me\n") << source;
    EXPECT_EQ(FileMode(destination), 0644) << source;
  }
  EXPECT_TRUE(CYrFile::Copy(dir.write("src", "x"), dir.file("plain") + "/under").IsError());
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(Names(dir.path()).size(), 3u);  // destination, fifo, src: no temporary file
}

TEST(FileWrite, CloseLeavesExactlyTheWrittenBytes) {
  TempDir dir;
  const std::string path = dir.write("out", "a much longer previous content\n");
  CYrFile file;
  ASSERT_FALSE(file.Open(path, "w").IsError());
  EXPECT_TRUE(file.IsOpen());
  const std::string first = "key=value\n";
  const std::string second("nul\0inside\n", 11);
  uint32_t written = 0;
  ASSERT_FALSE(file.Write(first.data(), static_cast<uint32_t>(first.size()), &written).IsError());
  EXPECT_EQ(written, first.size());
  ASSERT_FALSE(file.Write(second.data(), static_cast<uint32_t>(second.size()), nullptr).IsError());
  ASSERT_FALSE(file.Write("", 0, nullptr).IsError());
  // Nothing shows under the name until Close().
  EXPECT_EQ(ReadFile(path), "a much longer previous content\n");
  ASSERT_FALSE(file.Close().IsError());
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadFile(path), first + second);
  EXPECT_EQ(FileMode(path), 0600);
  EXPECT_EQ(Names(dir.path()).size(), 1u);
  EXPECT_FALSE(file.Close().IsError());  // a second close is harmless
}

TEST(FileWrite, DestroyingAnUnclosedFileKeepsTheOldContent) {
  TempDir dir;
  const std::string path = dir.write("zbPriam.properties", "old\n");
  {
    CYrFile file;
    ASSERT_FALSE(file.Open(path, "w").IsError());
    ASSERT_FALSE(file.Write("new", 3, nullptr).IsError());
  }
  EXPECT_EQ(ReadFile(path), "old\n");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"zbPriam.properties"});
}

TEST(FileWrite, AWriteBeyondTheFileSizeLimitFailsAndKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.write("zbPriam.properties", "old\n");
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  const struct rlimit saved = limit;
  limit.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

  const std::string big(256 * 1024, 'z');
  CYrError open;
  CYrError write;
  uint32_t written = 0;
  {
    CYrFile file;  // destroyed unclosed, as a caller does after a failed write
    open = file.Open(path, "w");
    write = file.Write(big.data(), static_cast<uint32_t>(big.size()), &written);
  }
  setrlimit(RLIMIT_FSIZE, &saved);

  ASSERT_FALSE(open.IsError());
  ASSERT_TRUE(write.IsError());
  EXPECT_EQ(write.Code(), EFBIG);
  EXPECT_EQ(written, 64u * 1024u);  // the part that went out is reported
  EXPECT_EQ(ReadFile(path), "old\n");
  EXPECT_EQ(Names(dir.path()).size(), 1u);
}

TEST(FileWrite, OpenFailsCleanlyWhereNoFileCanBe) {
  TempDir dir;
  const std::string plain = dir.write("plain", "x");
  const int before = OpenDescriptors();
  for (const std::string& path : {plain + "/child", dir.file("no/such/dir/file"), std::string()}) {
    CYrFile file;
    EXPECT_TRUE(file.Open(path, "w").IsError()) << path;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.Write("x", 1, nullptr).IsError());
  }
  CYrFile unknownMode;
  EXPECT_TRUE(unknownMode.Open(dir.file("f"), "x").IsError());
  EXPECT_TRUE(unknownMode.Open(dir.file("f"), nullptr).IsError());
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"plain"});
}

TEST(FileWrite, ADirectoryInTheWayFailsAtCloseAndLeavesNoTrace) {
  TempDir dir;
  const std::string target = dir.file("target");
  ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
  CYrFile file;
  ASSERT_FALSE(file.Open(target, "w").IsError());
  ASSERT_FALSE(file.Write("x", 1, nullptr).IsError());
  EXPECT_TRUE(file.Close().IsError());
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"target"});
}

TEST(FileWrite, SecondOpenOnAnOpenFileIsRefused) {
  TempDir dir;
  CYrFile file;
  ASSERT_FALSE(file.Open(dir.file("a"), "w").IsError());
  EXPECT_TRUE(file.Open(dir.file("b"), "w").IsError());
  ASSERT_FALSE(file.Write("a", 1, nullptr).IsError());
  ASSERT_FALSE(file.Close().IsError());
  EXPECT_EQ(ReadFile(dir.file("a")), "a");
  EXPECT_FALSE(PathExists(dir.file("b")));
}

TEST(FileWrite, LeaksNoDescriptor) {
  TempDir dir;
  const int before = OpenDescriptors();
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(WriteWith(dir.file("f"), "content"), "");
    {
      CYrFile abandoned;
      ASSERT_FALSE(abandoned.Open(dir.file("g"), "w").IsError());
    }
    Contents read = ReadWhole(dir.file("f"));
    EXPECT_FALSE(read.error.IsError());
    EXPECT_FALSE(CYrFile::Copy(dir.file("f"), dir.file("h")).IsError());
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(FileAppendAndRead, AppendKeepsEarlierContent) {
  TempDir dir;
  const std::string path = dir.write("log", "one\n");
  CYrFile file;
  ASSERT_FALSE(file.Open(path, "a").IsError());
  ASSERT_FALSE(file.Write("two\n", 4, nullptr).IsError());
  ASSERT_FALSE(file.Close().IsError());
  EXPECT_EQ(ReadFile(path), "one\ntwo\n");

  CYrFile reader;
  ASSERT_FALSE(reader.Open(path, "r").IsError());
  char data[16] = {};
  uint32_t got = 0;
  ASSERT_FALSE(reader.Read(data, sizeof(data), &got).IsError());
  EXPECT_EQ(std::string(data, got), "one\ntwo\n");
  ASSERT_FALSE(reader.Read(data, sizeof(data), &got).IsError());
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(reader.Read(data, sizeof(data), nullptr).IsError());  // the count is optional
}

TEST(Paths, AppendJoinsWithExactlyOneSeparator) {
  EXPECT_STREQ(CYrPath::Append("/opt/priam", "priam.jar").c_str(), "/opt/priam/priam.jar");
  EXPECT_STREQ(CYrPath::Append("/opt/priam/", "priam.jar").c_str(), "/opt/priam/priam.jar");
  EXPECT_STREQ(CYrPath::Append("/opt/priam/", "/priam.jar").c_str(), "/opt/priam/priam.jar");
  EXPECT_STREQ(CYrPath::Append("/opt/priam", "/priam.jar").c_str(), "/opt/priam/priam.jar");
  EXPECT_STREQ(CYrPath::Append("", "priam.jar").c_str(), "priam.jar");
  EXPECT_STREQ(CYrPath::Append("/", "etc").c_str(), "/etc");

  std::string path = "/etc/cassandra";
  EXPECT_FALSE(FXPath::Append(path, "cassandra.yaml", 0).IsError());
  EXPECT_EQ(path, "/etc/cassandra/cassandra.yaml");
  path = "/etc/scylla/";
  FXPath::Append(path, "/scylla.yaml", 0);
  EXPECT_EQ(path, "/etc/scylla/scylla.yaml");
}

TEST(Paths, DoesPathExistInBothForms) {
  TempDir dir;
  const std::string plain = dir.write("plain", "x");
  struct Case {
    std::string path;
    bool exists;
  };
  for (const Case& c : {Case{plain, true}, Case{dir.path(), true}, Case{dir.file("none"), false},
                        Case{plain + "/under", false}, Case{std::string(), false}}) {
    EXPECT_EQ(FXPath::DoesPathExist(c.path), c.exists) << c.path;
    bool exists = !c.exists;
    EXPECT_FALSE(FXPath::DoesPathExist(c.path, exists).IsError()) << c.path;
    EXPECT_EQ(exists, c.exists) << c.path;
  }
}

}  // namespace
