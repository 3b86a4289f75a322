// A node layout for the configuration file tests: a properties template
// named by the store, a Priam installation holding the log4j template, and
// an empty Priam configuration directory.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <memory>
#include <set>
#include <string>

#include "PriamUtil.h"
#include "ScopedEnvironment.h"
#include "TempDir.h"

namespace testsupport {

constexpr const char kPropertiesTemplate[] =
    "priam.cass.process=cassandra\n"
    "priam.backup.threads=2\n";

constexpr const char kLog4jTemplate[] =
    "log4j.rootLogger=INFO, R\n"
    "log4j.appender.R=org.apache.log4j.RollingFileAppender\n"
    "log4j.appender.R.File=/var/log/priam/priam.log\n"
    "log4j.appender.R.layout=org.apache.log4j.PatternLayout\n";

class PriamConfTest : public ::testing::Test {
 protected:
  PriamConfTest() {
    templateDir.write("zbPriam.properties", kPropertiesTemplate);
    priamDir.write("zblog4j.properties", kLog4jTemplate);
    store.Set("Cassandra", "sPriamTemplateDir", templateDir.path());
  }

  std::unique_ptr<ZbCassandra::PriamUtil> MakeController() const {
    return std::make_unique<ZbCassandra::PriamUtil>(0, CYrString("/usr/bin/java"), priamDir.path(),
                                                    confDir.path(), "", false);
  }

  std::string PropertiesPath() const { return confDir.file("zbPriam.properties"); }
  std::string Log4jPath() const { return confDir.file("zbPriamlog4j.properties"); }

  TempDir templateDir;
  TempDir priamDir;
  TempDir confDir;
  ScopedConfigStore store;
};

// A constructed controller over that layout, and its working properties
// file.
class PropertiesFileTest : public PriamConfTest {
 protected:
  void SetUp() override {
    controller = MakeController();
    ASSERT_FALSE(controller->initFailed());
  }
  // Replace the working file, readable by all, to see a rewrite tighten it.
  void Given(const std::string& content) const { WriteFile(PropertiesPath(), content, 0644); }
  std::string Now() const { return ReadFile(PropertiesPath()); }

  std::unique_ptr<ZbCassandra::PriamUtil> controller;
};

// Files larger than `bytes` cannot be written while the object lives: a
// write beyond the limit fails with EFBIG (SIGXFSZ is ignored), even as root.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    m_oldHandler = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    signal(SIGXFSZ, m_oldHandler);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  rlimit m_old{};
  sighandler_t m_oldHandler;
};

// The names in a directory, without "." and "..": shows leftover
// temporary files.
inline std::set<std::string> DirectoryNames(const std::string& path) {
  std::set<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(dir);
  }
  return names;
}

}  // namespace testsupport
