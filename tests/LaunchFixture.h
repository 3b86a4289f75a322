// A node, a Priam installation holding the stand-in sidecar and a
// configuration store, for tests that launch the sidecar with the real JDK.
// The library's sleeps are shortened: the wait before the connection check
// lasts until the sidecar listens.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "CapturingLogWriter.h"
#include "ChildProcess.h"
#include "LocalPort.h"
#include "PriamUtil.h"
#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "YrSleep.h"
#include "ZbProcess.h"

namespace launchtest {

using testsupport::ProcessExists;
using testsupport::ReadFile;
using testsupport::ScopedConfigStore;
using testsupport::ScopedLogCapture;
using testsupport::TempDir;
using testsupport::WriteFile;
using ZbCassandra::PriamUtil;
using ZbCassandra::requestType;

// The credentials a host writes; none may outlive a launch on disk or ever
// reach the log.
inline const std::map<std::string, std::string> kSecrets = {
    {"priam.cqluserpassword", "cql-S3cret=="},    {"priam.jmx.token", "jmx-T0ken"},
    {"priam.server.kspasswd", "ks-Pa55"},         {"priam.server.tspasswd", "ts-Pa55"},
    {"priam.keystore.password", "keystore-Pa55"}, {"priam.truststore.password", "trust-Pa55"},
};

inline bool WaitFor(const std::function<bool()>& condition, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class LaunchTest : public ::testing::Test {
 protected:
  LaunchTest()
      : priamDir(root.file("priam")),
        templateDir(root.file("templates")),
        confDir(root.file("conf")),
        nodeDir(root.file("node")),
        logDir(root.file("logs")) {
    for (const std::string& dir : {priamDir, templateDir, confDir, nodeDir, logDir}) {
      mkdir(dir.c_str(), 0700);
    }
    EXPECT_EQ(symlink(PRIAM_STANDIN_JAR, (priamDir + "/priam.jar").c_str()), 0);
    WriteFile(priamDir + "/zblog4j.properties",
              "log4j.rootLogger=INFO, R\n"
              "log4j.appender.R=org.apache.log4j.RollingFileAppender\n"
              "log4j.appender.R.File=/var/log/priam.log\n");
    WriteFile(templateDir + "/zbPriam.properties",
              "priam.cass.process=cassandra\npriam.backup.retention=7\n");
    WriteFile(nodeDir + "/cassandra.yaml", "native_transport_port: 9042\n");
    WriteFile(nodeDir + "/cassandra-env.sh", "JMX_PORT=\"7199\"\n");
    store.Set("Cassandra", "sPriamTemplateDir", templateDir);
    store.Set("EventManager", "sLogFilesDirectory", logDir);
    m_previousSleep = YRSLEEP_SetHandler(nullptr);
    ShortenSleeps();
  }

  ~LaunchTest() override {
    controller.reset();
    YRSLEEP_SetHandler(m_previousSleep);
  }

  PriamUtil& Make(int port = 0, const std::string& java = PRIAM_STANDIN_JAVA,
                  bool ignoreConnectionFailure = false) {
    controller.reset(
        new PriamUtil(port, java.c_str(), priamDir, confDir, nodeDir, ignoreConnectionFailure));
    EXPECT_FALSE(controller->initFailed());
    return *controller;
  }

  // Credentials and the CQL user, plus `extra` entries, as a host writes them.
  void WriteProperties(const std::map<std::string, std::string>& extra = {}) {
    std::map<std::string, std::string> properties = kSecrets;
    properties["priam.cqlhost"] = "127.0.0.1";
    properties["priam.cqlport"] = "9042";
    properties["priam.cqlusername"] = "cassandra";
    properties["priam.jmx.port"] = "7199";
    for (const auto& entry : extra) properties[entry.first] = entry.second;
    ASSERT_FALSE(controller->writePriamProperties(properties).IsError());
  }

  std::string Properties() const { return ReadFile(confDir + "/zbPriam.properties"); }

  void ExpectNoSecretLeft() const {
    const std::string content = Properties();
    for (const auto& secret : kSecrets) {
      EXPECT_EQ(content.find(secret.first), std::string::npos) << secret.first;
      EXPECT_EQ(content.find(secret.second), std::string::npos) << secret.first;
      EXPECT_EQ(log->AllText().find(secret.second), std::string::npos)
          << "a secret reached the log: " << secret.first;
    }
  }

  // The last word of the process's command line, as the real ps shows it.
  static std::string PortInProcessTable(pid_t pid) {
    std::string output;
    ZbProcess::system("ps --no-headers -o args -p " + std::to_string(pid), &output, nullptr, 0,
                      true);
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output.substr(output.rfind(' ') + 1);
  }

  // The library's sleeps shortened (the default), or real: the platform's
  // own sleep, with no handler installed.
  void ShortenSleeps() {
    YRSLEEP_SetHandler(
        [this](uint32_t milliseconds, const char* file, int) { Sleep(milliseconds, file); });
  }
  void UsePlatformSleep() { YRSLEEP_SetHandler(nullptr); }

  nlohmann::json Info() {
    CYrString response;
    const CYrError error = controller->get(requestType::Get, "info", response, "");
    EXPECT_FALSE(error.IsError()) << error.AsString();
    return nlohmann::json::parse(response.str(), nullptr, false);
  }

  std::vector<uint32_t> Sleeps() const {
    std::lock_guard<std::mutex> lock(m_sleepMutex);
    return m_sleeps;
  }

  TempDir root;
  const std::string priamDir, templateDir, confDir, nodeDir, logDir;
  ScopedConfigStore store;
  ScopedLogCapture log{3};
  std::unique_ptr<PriamUtil> controller;

 private:
  // The wait before the connection check lasts until the sidecar listens
  // (or has died), so that the check sees a sidecar as ready as 30 seconds
  // would leave it; every other sleep is cut to a hundredth.
  void Sleep(uint32_t milliseconds, const char* file) {
    {
      std::lock_guard<std::mutex> lock(m_sleepMutex);
      m_sleeps.push_back(milliseconds);
    }
    if (std::string(file).find("Launch") != std::string::npos) {
      const pid_t pid = controller->priamPid();
      const int port = controller->priamPort();
      WaitFor(
          [&] {
            return testsupport::PortAcceptsConnections(port) ||
                   testsupport::ProcessState(pid) == 'Z' || !ProcessExists(pid);
          },
          10);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds / 100));
  }

  mutable std::mutex m_sleepMutex;
  std::vector<uint32_t> m_sleeps;
  YrSleepHandler m_previousSleep;
};

}  // namespace launchtest
