#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CapturingLogWriter.h"
#include "PriamConfFixture.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"

namespace {

using testsupport::FileMode;
using testsupport::kLog4jTemplate;
using testsupport::kPropertiesTemplate;
using testsupport::PathExists;
using testsupport::ReadFile;
using testsupport::WriteFile;
using Access = ZbCassandra::PriamUtilTestAccess;
using Texts = std::vector<std::string>;

class ConfSetup : public testsupport::PriamConfTest {
 protected:
  std::string PropertiesTemplatePath() const { return templateDir.file("zbPriam.properties"); }
  std::string Log4jTemplatePath() const { return priamDir.file("zblog4j.properties"); }
  // What the set-up itself logged; the discovery steps after it log too.
  static Texts SetupTexts(const testsupport::CapturingLogWriter& log) {
    return log.TextsFrom({"initializePriamConfFilePath", "AddOrUpdateFieldInConfigFile"});
  }
};

TEST_F(ConfSetup, InstallsBothFilesOnAFreshDirectory) {
  store.Set("EventManager", "sLogFilesDirectory", "/var/log/zb");
  testsupport::ScopedLogCapture log(0);
  const auto controller = MakeController();
  EXPECT_FALSE(controller->initFailed());

  EXPECT_EQ(ReadFile(PropertiesPath()), kPropertiesTemplate);
  EXPECT_EQ(FileMode(PropertiesPath()), 0600);
  EXPECT_EQ(ReadFile(Log4jPath()),
            "log4j.rootLogger=INFO, R\n"
            "log4j.appender.R=org.apache.log4j.RollingFileAppender\n"
            "log4j.appender.R.File=/var/log/zb/zbPriam.log\n"
            "log4j.appender.R.layout=org.apache.log4j.PatternLayout\n");
  EXPECT_EQ(SetupTexts(*log),
            (Texts{"Copied " + PropertiesTemplatePath() + " to " + PropertiesPath(),
                   "Copied " + Log4jTemplatePath() + " to " + Log4jPath()}));
  // Beside them, the lock and the record of the host that owns the directory now.
  EXPECT_EQ(testsupport::DirectoryNames(confDir.path()),
            (std::set<std::string>{"zbPriam.lock", "zbPriam.properties", "zbPriam.sidecar",
                                   "zbPriamlog4j.properties"}));
}

TEST_F(ConfSetup, ExistingLog4jFileKeepsAllButItsRootLogger) {
  store.Set("EventManager", "sLogFilesDirectory", "/var/log/zb");
  store.Set("EventManager", "zbPriam_DEBUGLEVEL", "0");
  WriteFile(Log4jPath(), "log4j.rootLogger=DEBUG, R\nlog4j.appender.R.File=/mine.log\n");
  // What an earlier controller wrote into the working file is replaced.
  WriteFile(PropertiesPath(), "priam.jmx.token=old-secret\n", 0644);
  testsupport::ScopedLogCapture log(3);
  const auto controller = MakeController();
  EXPECT_FALSE(controller->initFailed());

  EXPECT_EQ(ReadFile(PropertiesPath()), kPropertiesTemplate);
  EXPECT_EQ(FileMode(PropertiesPath()), 0600);
  EXPECT_EQ(ReadFile(Log4jPath()), "log4j.rootLogger=INFO, R\nlog4j.appender.R.File=/mine.log\n");
  EXPECT_EQ(log->TextsFrom({"initializePriamConfFilePath"}),
            Texts{"Copied " + PropertiesTemplatePath() + " to " + PropertiesPath()});
  EXPECT_EQ(log->Texts(3),
            Texts{" Content [log4j.rootLogger=INFO, R\nlog4j.appender.R.File=/mine.log\n]"});
}

TEST_F(ConfSetup, DebugLevelSelectsTheRootLogger) {
  const std::pair<const char*, const char*> cases[] = {
      {"5", "DEBUG, R"}, {"0", "INFO, R"}, {nullptr, "INFO, R"}};
  for (const auto& c : cases) {
    if (c.first) {
      store.Set("EventManager", "zbPriam_DEBUGLEVEL", c.first);
    } else {
      store.Remove("EventManager", "zbPriam_DEBUGLEVEL");
    }
    const auto controller = MakeController();
    const std::string log4j = ReadFile(Log4jPath());
    EXPECT_EQ(log4j.substr(0, log4j.find('\n')), std::string("log4j.rootLogger=") + c.second)
        << (c.first ? c.first : "absent");
  }
}

TEST_F(ConfSetup, WithoutALogDirectoryTheTemplatesLogFileStays) {
  testsupport::ScopedLogCapture log(0);
  const auto controller = MakeController();
  EXPECT_FALSE(controller->initFailed());
  EXPECT_EQ(ReadFile(Log4jPath()), kLog4jTemplate);
  EXPECT_EQ(SetupTexts(*log).size(), 2u);  // the two copies, nothing about the log directory
}

TEST_F(ConfSetup, MissingPropertiesTemplateFailsTheInitialization) {
  std::remove(PropertiesTemplatePath().c_str());
  testsupport::ScopedLogCapture log(0);
  const auto controller = MakeController();
  EXPECT_TRUE(controller->initFailed());
  EXPECT_FALSE(PathExists(PropertiesPath()));
  EXPECT_FALSE(PathExists(Log4jPath()));

  const CYrError error = controller->initializePriamConfFilePath();
  ASSERT_TRUE(error.IsError());
  const auto frames = error.Frames();
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[0].file, "PriamUtil");
  EXPECT_NE(frames[0].function.find("initializePriamConfFilePath"), std::string::npos);
  EXPECT_EQ(frames[0].message,
            "Failed to copy " + PropertiesTemplatePath() + " to " + PropertiesPath());
  // The constructor logged the whole error once, locations included.
  const auto failures = log->Texts(-1);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rfind("Failed to initialize configuration file paths: ", 0), 0u);
  EXPECT_NE(failures[0].find("initializePaths"), std::string::npos);
  EXPECT_NE(failures[0].find("initialize()"), std::string::npos);
}

TEST_F(ConfSetup, MissingLog4jTemplateIsReportedWithBothPaths) {
  std::remove(Log4jTemplatePath().c_str());
  const auto controller = MakeController();
  EXPECT_TRUE(controller->initFailed());
  EXPECT_EQ(ReadFile(PropertiesPath()), kPropertiesTemplate);
  const CYrError error = controller->initializePriamConfFilePath();
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.Frames()[0].message,
            "Failed to copy " + Log4jTemplatePath() + " to " + Log4jPath());
  EXPECT_FALSE(PathExists(Log4jPath()));
}

TEST_F(ConfSetup, AFailedLog4jUpdateIsReportedAndLeavesTheFileWhole) {
  // The long log directory makes the updated file larger than the limit,
  // which the two copies stay within.
  store.Set("EventManager", "sLogFilesDirectory", "/var/log/" + std::string(200, 'd'));
  const auto controller = MakeController();
  ASSERT_FALSE(controller->initFailed());
  std::remove(Log4jPath().c_str());
  {
    testsupport::ScopedFileSizeLimit limit(sizeof(kLog4jTemplate));
    const CYrError error = controller->initializePriamConfFilePath();
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(error.Frames()[0].message, "Failed to update log file in config file");
  }
  EXPECT_EQ(ReadFile(Log4jPath()), kLog4jTemplate);

  // The root logger update of an existing file fails the same way.
  const std::string existing = "log4j.rootLogger=X\n" + std::string(100, '#') + "\n";
  WriteFile(Log4jPath(), existing);
  {
    testsupport::ScopedFileSizeLimit limit(existing.size());
    const CYrError error = controller->initializePriamConfFilePath();
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(error.Frames()[0].message, "Failed to update log file in config file");
  }
  EXPECT_EQ(ReadFile(Log4jPath()), existing);
}

TEST_F(ConfSetup, EmptyConfigurationDirectoryDoesNothing) {
  testsupport::ScopedLogCapture log(3);
  ZbCassandra::PriamUtil controller(0, CYrString("/usr/bin/java"), priamDir.path(), "", "", false);
  EXPECT_FALSE(controller.initFailed());
  EXPECT_FALSE(controller.initializePriamConfFilePath().IsError());
  EXPECT_TRUE(SetupTexts(*log).empty());
  EXPECT_TRUE(testsupport::DirectoryNames(confDir.path()).empty());
  EXPECT_EQ(testsupport::DirectoryNames(priamDir.path()),
            std::set<std::string>{"zblog4j.properties"});
}

TEST_F(ConfSetup, TemplateDirectoryDefaultsToEtcPriam) {
  if (PathExists("/etc/Priam/zbPriam.properties")) GTEST_SKIP() << "a real template is installed";
  store.Remove("Cassandra", "sPriamTemplateDir");
  const auto controller = MakeController();
  EXPECT_TRUE(controller->initFailed());
  const CYrError error = controller->initializePriamConfFilePath();
  EXPECT_EQ(error.Frames()[0].message,
            "Failed to copy /etc/Priam/zbPriam.properties to " + PropertiesPath());
  EXPECT_FALSE(PathExists(PropertiesPath()));
}

}  // namespace
