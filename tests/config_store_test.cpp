#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "ZBPI_EventManager.h"
#include "ZBPlatformInfo.h"

namespace {

using testsupport::ScopedConfigStore;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

constexpr const char* kUntouched = "preset default";
constexpr uint64_t kUntouchedNumber = 777;

// The text value, or kUntouched when the lookup says it is absent (and the
// out-value was indeed left alone).
std::string Text(const char* section, const char* name) {
  std::string value = kUntouched;
  const int found = ZBPlatformInfo().getString(section, name, &value);
  if (!found) {
    EXPECT_EQ(value, kUntouched) << section << "/" << name;
  }
  return found ? value : kUntouched;
}

bool Number(const char* section, const char* name, uint64_t* number) {
  uint64_t value = kUntouchedNumber;
  const int found = ZBPlatformInfo().getNumber(section, name, &value);
  if (!found) {
    EXPECT_EQ(value, kUntouchedNumber) << section << "/" << name;
  }
  *number = value;
  return found != 0;
}

class ConfigStoreFile : public ::testing::Test {
 protected:
  void Write(const std::string& content) { WriteFile(m_path, content); }

  TempDir m_dir;
  std::string m_path = m_dir.file("platform.ini");
  ScopedEnv m_env{ZBPlatformInfo::kConfigVariable, m_path.c_str()};
};

TEST_F(ConfigStoreFile, ValuesAreFoundInTheirOwnSectionOnly) {
  Write(
      "; host settings\n"
      "# written by the installer\n"
      "[FileSystemAgent]\n"
      "sJavaPath=/usr/lib/jvm/java-17/bin/java\n"
      "\n"
      "  [ Cassandra ]  \r\n"
      "  sCassandraYamlFile  =  /etc/cassandra/cassandra.yaml \r\n"
      "sJavaPath=/wrong/section\n"
      "sOptions=-Da=b -Dc=d\n"
      "sEmpty=\n"
      "no equals sign here\n"
      "[EventManager]\n"
      "zbPriam_DEBUGLEVEL=3\n");
  EXPECT_EQ(Text("FileSystemAgent", "sJavaPath"), "/usr/lib/jvm/java-17/bin/java");
  EXPECT_EQ(Text("Cassandra", "sCassandraYamlFile"), "/etc/cassandra/cassandra.yaml");
  EXPECT_EQ(Text("Cassandra", "sJavaPath"), "/wrong/section");
  EXPECT_EQ(Text("Cassandra", "sOptions"), "-Da=b -Dc=d");
  EXPECT_EQ(Text("Cassandra", "sEmpty"), "");
  EXPECT_EQ(Text("Cassandra", "no equals sign here"), kUntouched);
  EXPECT_EQ(Text("EventManager", "sJavaPath"), kUntouched);
  EXPECT_EQ(Text("FileSystemAgent", "sjavapath"), kUntouched);
  EXPECT_EQ(Text("NoSuchSection", "sJavaPath"), kUntouched);
  uint64_t level = 0;
  EXPECT_TRUE(Number("EventManager", "zbPriam_DEBUGLEVEL", &level));
  EXPECT_EQ(level, 3u);
}

TEST_F(ConfigStoreFile, OnlyWholeUnsignedNumbersAreNumbers) {
  Write(
      "[Cassandra]\n"
      "nPriamWaitTime=30\n"
      "nZero=0\n"
      "nLargest=18446744073709551615\n"
      "nTooLarge=18446744073709551616\n"
      "nNegative=-1\n"
      "nPlus=+5\n"
      "nTrailing=12abc\n"
      "nInner=1 2\n"
      "nHex=0x10\n"
      "nFraction=1.5\n"
      "nWord=yes\n"
      "nEmpty=\n");
  uint64_t number = 0;
  EXPECT_TRUE(Number("Cassandra", "nPriamWaitTime", &number));
  EXPECT_EQ(number, 30u);
  EXPECT_TRUE(Number("Cassandra", "nZero", &number));
  EXPECT_EQ(number, 0u);
  EXPECT_TRUE(Number("Cassandra", "nLargest", &number));
  EXPECT_EQ(number, UINT64_MAX);
  for (const char* name : {"nTooLarge", "nNegative", "nPlus", "nTrailing", "nInner", "nHex",
                           "nFraction", "nWord", "nEmpty", "nAbsent"}) {
    EXPECT_FALSE(Number("Cassandra", name, &number)) << name;
  }
  // A number is still a text.
  EXPECT_EQ(Text("Cassandra", "nWord"), "yes");
}

TEST_F(ConfigStoreFile, TheFileIsReadAgainAtEachLookup) {
  Write("[Cassandra]\nnCassandraVerifyPriamPort=1\n");
  uint64_t number = 0;
  EXPECT_TRUE(Number("Cassandra", "nCassandraVerifyPriamPort", &number));
  EXPECT_EQ(number, 1u);
  Write("[Cassandra]\nnCassandraVerifyPriamPort=0\n");
  EXPECT_TRUE(Number("Cassandra", "nCassandraVerifyPriamPort", &number));
  EXPECT_EQ(number, 0u);
  Write("[Cassandra]\n");
  EXPECT_FALSE(Number("Cassandra", "nCassandraVerifyPriamPort", &number));
}

// A file unchanged for a while is not read again at every lookup; whatever
// happens to it next must still be seen by the next lookup.
TEST_F(ConfigStoreFile, EveryChangeToALongUnchangedFileIsSeen) {
  Write("[Cassandra]\nnPriamWaitTime=10\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  uint64_t number = 0;
  EXPECT_TRUE(Number("Cassandra", "nPriamWaitTime", &number));
  EXPECT_TRUE(Number("Cassandra", "nPriamWaitTime", &number));
  EXPECT_EQ(number, 10u);

  // Rewritten in place, at once, to the same length.
  Write("[Cassandra]\nnPriamWaitTime=20\n");
  EXPECT_TRUE(Number("Cassandra", "nPriamWaitTime", &number));
  EXPECT_EQ(number, 20u);

  // Replaced by another file of the same length.
  const std::string other = m_dir.file("other.ini");
  WriteFile(other, "[Cassandra]\nnPriamWaitTime=30\n");
  ASSERT_EQ(rename(other.c_str(), m_path.c_str()), 0);
  EXPECT_TRUE(Number("Cassandra", "nPriamWaitTime", &number));
  EXPECT_EQ(number, 30u);

  // Another store named by the environment.
  const std::string second = m_dir.file("second.ini");
  WriteFile(second, "[Cassandra]\nnPriamWaitTime=40\n");
  {
    ScopedEnv env(ZBPlatformInfo::kConfigVariable, second.c_str());
    EXPECT_TRUE(Number("Cassandra", "nPriamWaitTime", &number));
    EXPECT_EQ(number, 40u);
  }

  ASSERT_EQ(unlink(m_path.c_str()), 0);
  EXPECT_FALSE(Number("Cassandra", "nPriamWaitTime", &number));
  ASSERT_EQ(mkdir(m_path.c_str(), 0700), 0);
  EXPECT_FALSE(Number("Cassandra", "nPriamWaitTime", &number)) << "a directory is no store";
}

TEST_F(ConfigStoreFile, TheLastAssignmentWins) {
  Write("[Cassandra]\nsCassandraYamlFile=/first\n[Other]\n[Cassandra]\nsCassandraYamlFile=/last\n");
  EXPECT_EQ(Text("Cassandra", "sCassandraYamlFile"), "/last");
}

TEST_F(ConfigStoreFile, NullArgumentsFindNothing) {
  Write("[Cassandra]\nnPriamWaitTime=30\n");
  ZBPlatformInfo store;
  std::string text;
  uint64_t number = 0;
  EXPECT_EQ(store.getString(nullptr, "nPriamWaitTime", &text), 0);
  EXPECT_EQ(store.getString("Cassandra", nullptr, &text), 0);
  EXPECT_EQ(store.getString("Cassandra", "nPriamWaitTime", nullptr), 0);
  EXPECT_EQ(store.getNumber("Cassandra", "nPriamWaitTime", nullptr), 0);
  EXPECT_EQ(store.getNumber(nullptr, nullptr, &number), 0);
}

TEST(ConfigStoreWithoutFile, EveryValueIsAbsent) {
  TempDir dir;
  const std::string directory = dir.path();
  const std::string missing = dir.file("missing.ini");
  const std::string fifo = dir.file("fifo.ini");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const char* path :
       {static_cast<const char*>(nullptr), "", missing.c_str(), directory.c_str(), fifo.c_str()}) {
    ScopedEnv env(ZBPlatformInfo::kConfigVariable, path);
    EXPECT_EQ(Text("FileSystemAgent", "sJavaPath"), kUntouched);
    uint64_t number = 0;
    EXPECT_FALSE(Number("Cassandra", "nPriamWaitTime", &number));
  }
}

TEST(EventManager, LogDirectoryComesFromTheStore) {
  ScopedConfigStore store;
  ZBPI_EventManager absent(0, 1);
  EXPECT_EQ(absent.getLogFilesDirectory(), nullptr);

  store.Set("EventManager", "sLogFilesDirectory", "");
  EXPECT_EQ(ZBPI_EventManager(0, 1).getLogFilesDirectory(), nullptr);

  store.Set("EventManager", "sLogFilesDirectory", "/var/log/zb");
  store.Set("Other", "sLogFilesDirectory", "/elsewhere");
  ZBPI_EventManager manager(0, 1);
  const char* directory = manager.getLogFilesDirectory();
  ASSERT_NE(directory, nullptr);
  store.Remove("EventManager", "sLogFilesDirectory");
  // The text stays valid for the object's life, whatever the store does.
  EXPECT_STREQ(directory, "/var/log/zb");
}

TEST(EventManager, NoStoreMeansNoDirectory) {
  ScopedEnv env(ZBPlatformInfo::kConfigVariable, nullptr);
  EXPECT_EQ(ZBPI_EventManager(0, 1).getLogFilesDirectory(), nullptr);
}

}  // namespace
