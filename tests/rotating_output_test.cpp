// The sidecar's output file on a real filesystem that fills up: whatever the
// sidecar writes, the output keeps within its files and off the last tenth
// of the filesystem, and what it had to drop is counted and noted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "PriamConfFixture.h"
#include "SmallFilesystem.h"
#include "guardian/RotatingOutput.h"

namespace {

using testsupport::DirectoryNames;
using testsupport::ReadFile;
using ZbCassandra::RotatingOutput;

constexpr size_t kChunk = 64 * 1024;  // what the guardian drains at once
constexpr size_t kLine = 64;

// The guardian's `index`th read: numbered lines of 64 bytes.
std::string Chunk(uint64_t index) {
  std::string chunk;
  for (uint64_t n = index * (kChunk / kLine); chunk.size() < kChunk; ++n) {
    char line[kLine + 1];
    snprintf(line, sizeof(line), "%010llu %052d\n", static_cast<unsigned long long>(n), 0);
    chunk.append(line, kLine);
  }
  return chunk;
}

uint64_t FirstLineNumber(const std::string& text) { return std::stoull(text.substr(0, 10)); }
uint64_t LastLineNumber(const std::string& text) {
  return std::stoull(text.substr(text.size() - kLine, 10));
}

// The descriptor flags of this process's descriptor for `path`; -1 when it
// has none.
int DescriptorFlags(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  const std::string wanted = resolved ? resolved : path;
  free(resolved);
  for (const std::string& name : DirectoryNames("/proc/self/fd")) {
    char target[4096] = {};
    const std::string link = "/proc/self/fd/" + name;
    if (readlink(link.c_str(), target, sizeof(target) - 1) > 0 && wanted == target) {
      return fcntl(std::stoi(name), F_GETFD);
    }
  }
  return -1;
}

class RotatingOutputOnASmallFilesystem : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!filesystem.mounted()) GTEST_SKIP() << filesystem.refusal();
  }

  testsupport::SmallFilesystem filesystem{8 << 20};
  const std::string out = filesystem.file("zbPriam.out");
};

TEST_F(RotatingOutputOnASmallFilesystem, RotationKeepsTheNewestOutputInThreeOwnerOnlyFiles) {
  testsupport::TempDir elsewhere;
  const std::string victim = elsewhere.write("victim", "not the sidecar's\n");
  ASSERT_EQ(symlink(victim.c_str(), out.c_str()), 0);
  const mode_t savedUmask = umask(0277);
  RotatingOutput output(out, 2 << 20);
  std::string error;
  const bool opened = output.Open(&error);
  const uint64_t chunks = 640;  // 40 MiB, five times the filesystem
  uint64_t leastFree = filesystem.TotalBytes();
  for (uint64_t i = 0; opened && i < chunks; ++i) {
    output.Write(Chunk(i).data(), kChunk);
    leastFree = std::min(leastFree, filesystem.FreeBytes());
  }
  umask(savedUmask);
  ASSERT_TRUE(opened) << error;

  EXPECT_EQ(ReadFile(victim), "not the sidecar's\n");
  const int flags = DescriptorFlags(out);
  EXPECT_TRUE(flags >= 0 && (flags & FD_CLOEXEC) != 0) << flags;
  EXPECT_EQ(DirectoryNames(filesystem.path()),
            (std::set<std::string>{"zbPriam.out", "zbPriam.out.1", "zbPriam.out.2"}));
  for (const std::string& path : {out, out + ".1", out + ".2"}) {
    struct stat info;
    ASSERT_EQ(lstat(path.c_str(), &info), 0) << path;
    EXPECT_TRUE(S_ISREG(info.st_mode)) << path;
    EXPECT_EQ(info.st_mode & 07777, 0600u) << path;
    EXPECT_LE(info.st_size, 2 << 20) << path;
  }
  // Newest last, and no line lost between the files.
  const std::string newest = ReadFile(out);
  const std::string previous = ReadFile(out + ".1");
  const std::string oldest = ReadFile(out + ".2");
  EXPECT_EQ(LastLineNumber(newest), chunks * (kChunk / kLine) - 1);
  EXPECT_EQ(FirstLineNumber(newest), LastLineNumber(previous) + 1);
  EXPECT_EQ(FirstLineNumber(previous), LastLineNumber(oldest) + 1);
  EXPECT_EQ(output.DroppedBytes(), 0u);
  EXPECT_GE(leastFree * 10, filesystem.TotalBytes());
}

TEST_F(RotatingOutputOnASmallFilesystem, TheLastTenthStaysFreeAndWhatWasDroppedIsNoted) {
  testsupport::WriteFile(filesystem.file("filler"), std::string(1 << 20, 'f'));
  RotatingOutput output(out);
  std::string error;
  ASSERT_TRUE(output.Open(&error)) << error;
  const uint64_t fullChunks = 320;  // 20 MiB into 8
  uint64_t leastFree = filesystem.TotalBytes();
  for (uint64_t i = 0; i < fullChunks; ++i) {
    output.Write(Chunk(i).data(), kChunk);
    leastFree = std::min(leastFree, filesystem.FreeBytes());
  }
  EXPECT_GE(leastFree * 10, filesystem.TotalBytes());
  const std::string whileFull = ReadFile(out);
  EXPECT_GT(output.DroppedBytes(), 0u);
  EXPECT_EQ(whileFull.size() + output.DroppedBytes(), fullChunks * kChunk);
  EXPECT_EQ(DirectoryNames(filesystem.path()), (std::set<std::string>{"filler", "zbPriam.out"}));

  // Space comes back: a note, then the output again.
  ASSERT_EQ(unlink(filesystem.file("filler").c_str()), 0);
  const uint64_t laterChunks = 8;
  std::string later;
  for (uint64_t i = fullChunks; i < fullChunks + laterChunks; ++i) {
    later += Chunk(i);
    output.Write(later.data() + later.size() - kChunk, kChunk);
  }
  const std::string note = "[zbPriam: " + std::to_string(output.DroppedBytes()) +
                           " bytes of the sidecar's output dropped: the filesystem was nearly "
                           "full]\n";
  const std::string now = ReadFile(out);
  ASSERT_EQ(now.compare(0, whileFull.size(), whileFull), 0);
  ASSERT_EQ(now.compare(whileFull.size(), note.size(), note), 0)
      << now.substr(whileFull.size(), 200);
  const std::string after = now.substr(whileFull.size() + note.size());
  EXPECT_EQ(after, later.substr(later.size() - after.size()));
  EXPECT_FALSE(after.empty());
  // Every byte is either in the file or counted.
  EXPECT_EQ(whileFull.size() + after.size() + output.DroppedBytes(),
            (fullChunks + laterChunks) * kChunk);
}

TEST(RotatingOutput, AFailingWriteIsCountedAndTheOutputGoesOn) {
  testsupport::TempDir dir;
  const std::string out = dir.file("zbPriam.out");
  RotatingOutput output(out);
  std::string error;
  ASSERT_TRUE(output.Open(&error)) << error;
  const uint64_t limit = kChunk + 1000;  // in the middle of a line of the second read
  std::string expected = Chunk(0) + Chunk(1).substr(0, 1000);
  {
    testsupport::ScopedFileSizeLimit fileSizeLimit(limit);
    for (uint64_t i = 0; i < 4; ++i) output.Write(Chunk(i).data(), kChunk);
  }
  EXPECT_EQ(output.DroppedBytes(), 4 * kChunk - limit);
  output.Write(Chunk(4).data(), kChunk);
  // The note starts a line of its own.
  expected += "\n[zbPriam: " + std::to_string(4 * kChunk - limit) +
              " bytes of the sidecar's output dropped: a write failed: " + strerror(EFBIG) + "]\n" +
              Chunk(4);
  EXPECT_EQ(ReadFile(out), expected);
  EXPECT_EQ(output.DroppedBytes(), 4 * kChunk - limit);

  // Where no file can be created, the bytes are counted all the same.
  RotatingOutput nowhere(dir.file("missing/zbPriam.out"));
  EXPECT_FALSE(nowhere.Open(&error));
  EXPECT_NE(error.find(strerror(ENOENT)), std::string::npos) << error;
  nowhere.Write(Chunk(0).data(), kChunk);
  EXPECT_EQ(nowhere.DroppedBytes(), kChunk);
}

}  // namespace
