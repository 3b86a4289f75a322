// A host's whole session with the controller, logged at the most verbose
// level: no secret value it wrote, nor one on the node's command line, ever
// appears in a log line.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "CapturingLogWriter.h"
#include "LaunchFixture.h"
#include "PriamUtil.h"
#include "ScopedEnvironment.h"

namespace {

using launchtest::kSecrets;
using testsupport::LogEntry;
using testsupport::WriteFile;
using ZbCassandra::PriamUtil;
using ZbCassandra::requestType;

constexpr const char* kNodeKeystorePassword = "node-KeyStore-Pa55";
constexpr const char* kRewrittenToken = "jmx-T0ken-rewritten";

class SecretLog : public launchtest::LaunchTest {};

TEST_F(SecretLog, NoSecretReachesAnyLogLineOfAFullRun) {
  const std::string pidFile = root.file("cassandra.pid");
  WriteFile(pidFile, "4242\n");
  {
    // The Java path comes from the running node, whose command line carries
    // a keystore password.
    testsupport::FakeTools tools;
    tools.Add("ps", std::string("case \"$1\" in\n"
                                "  -ef) echo 'cassandra 4242 1 0 10:00 ? 00:00:01 java "
                                "-Dcassandra-pidfile=") +
                        pidFile + " -Djavax.net.ssl.keyStorePassword=" + kNodeKeystorePassword +
                        " -cp /etc/cassandra Main' ;;\n"
                        "  *) echo '" PRIAM_STANDIN_JAVA
                        "' ;;\n"
                        "esac\n");
    Make(0, "");
  }
  PriamUtil& priam = *controller;
  ASSERT_EQ(priam.javaPath().str(), PRIAM_STANDIN_JAVA);

  WriteProperties();
  ASSERT_FALSE(priam
                   .AddOrUpdateFieldInConfigFile(confDir + "/zbPriam.properties", "priam.jmx.token",
                                                 kRewrittenToken)
                   .IsError());
  ASSERT_FALSE(priam.writePriamProperty("127.0.0.1").IsError());
  const CYrError started = priam.startPriam();
  ASSERT_FALSE(started.IsError()) << started.AsString();
  CYrString response;
  EXPECT_FALSE(priam.get(requestType::Get, "info", response, "").IsError());
  priam.get(requestType::Post, "info", response, "{}");
  EXPECT_FALSE(priam.stopPriam().IsError());
  EXPECT_FALSE(priam.deleteEntries().IsError());
  controller.reset();

  std::vector<std::string> secrets = {kNodeKeystorePassword, kRewrittenToken};
  for (const auto& secret : kSecrets) secrets.push_back(secret.second);
  const std::vector<LogEntry> entries = log->Entries();
  bool levelSeen[5] = {};
  for (const LogEntry& entry : entries) {
    if (entry.level >= -1 && entry.level <= 3) levelSeen[entry.level + 1] = true;
    for (const std::string& secret : secrets) {
      EXPECT_EQ(entry.text.find(secret), std::string::npos)
          << "level " << entry.level << " line " << entry.line << ": " << entry.text;
      EXPECT_EQ(entry.context.find(secret), std::string::npos);
    }
  }
  // The run logged at every level it has: progress, tracing, commands and
  // whole file contents.
  for (int level = 0; level <= 3; ++level) EXPECT_TRUE(levelSeen[level + 1]) << level;
  EXPECT_GT(entries.size(), 20u);
}

}  // namespace
