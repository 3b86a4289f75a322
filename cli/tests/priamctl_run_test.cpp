// priamctl run against the stand-in sidecar: replies, passwords kept off
// the command line, and the failures a user meets.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "LocalPort.h"
#include "PriamctlFixture.h"

namespace clitest {
namespace {

using RunCommand = PriamctlFixture;

const char kPassword[] = "cql-S3cret==";
const char kToken[] = "jmx-T0ken";
const char kKeystore[] = "ks-Pa55";

TEST_F(RunCommand, PasswordsFromEnvironmentAndFilesReachTheSidecarThenLeaveTheFile) {
  testsupport::WriteFile(root.file("token"), std::string(kToken) + "\n", 0600);
  testsupport::WriteFile(root.file("secrets.properties"),
                         "# credentials\npriam.keystore.password=" + std::string(kKeystore) +
                             "\npriam.cqlusername=from-file\n",
                         0600);
  const std::string log = root.file("run.log");
  const Outcome outcome = RunPriamctl(
      NodeArgs("run", {"--properties-file", root.file("secrets.properties"), "--property",
                       "priam.cqlusername=cassandra", "--property-from-env",
                       "priam.cqluserpassword=TEST_CQL_PASSWORD", "--property-from-file",
                       "priam.jmx.token=" + root.file("token"), "--request", "info",
                       "--short-waits-for-tests", "--log-level", "3", "--log-file", log}),
      {{"TEST_CQL_PASSWORD", kPassword}});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;

  const nlohmann::json info = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(outcome.out, info.dump(2) + "\n") << "the reply is pretty-printed";
  EXPECT_EQ(info["settings"]["priam.cqlusername"], "cassandra") << "--property wins over the file";
  EXPECT_EQ(info["settings"]["priam.cqlport"], "9042") << "discovered values are written";
  EXPECT_EQ(info["settings"]["priam.jmx.port"], "7199");
  for (const char* key : {"priam.cqluserpassword", "priam.jmx.token", "priam.keystore.password"}) {
    EXPECT_EQ(info["secrets_present"][key], true) << key;
  }
  EXPECT_FALSE(SidecarRunsFor(confDir)) << "stopped before priamctl exited";
  EXPECT_NE(outcome.err.find("Sidecar stopped."), std::string::npos);

  const std::string logText = testsupport::ReadFile(log);
  EXPECT_NE(logText.find("CmdString"), std::string::npos) << "the log was written";
  for (const char* secret : {kPassword, kToken, kKeystore}) {
    EXPECT_EQ(Properties().find(secret), std::string::npos) << secret;
    EXPECT_EQ(logText.find(secret), std::string::npos) << secret;
    EXPECT_EQ(outcome.err.find(secret), std::string::npos) << secret;
  }
}

TEST_F(RunCommand, RequestsGoInCommandLineOrderAndAFailedOneEndsTheRunWithCode1) {
  const Outcome outcome =
      RunPriamctl(NodeArgs("run", {"--request", "info", "--post", "nothing=x", "--request", "info",
                                   "--short-waits-for-tests"}));
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("GET info\nPOST nothing\npriamctl: POST nothing failed: "),
            std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("ErrorCode [404]"), std::string::npos);
  EXPECT_EQ(outcome.err.find("GET info\nGET info"), std::string::npos) << "none after the failure";
  EXPECT_FALSE(SidecarRunsFor(confDir));
}

TEST_F(RunCommand, PortTakenIsReportedBeforeAnythingStarts) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(fd, 1), 0);
  socklen_t length = sizeof(address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string port = std::to_string(ntohs(address.sin_port));

  const Outcome outcome = RunPriamctl(NodeArgs("run", {"--port", port}));
  close(fd);
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.err, "priamctl: port " + port + " on 127.0.0.1 is already in use\n");
  EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriam.properties")) << "nothing was written";
}

TEST_F(RunCommand, SidecarThatNeverAnswersOrExitsAtOnceFailsWithCode1AndNothingLeft) {
  for (const char* behaviour : {"standin.never.listen=true", "standin.exit.immediately=true"}) {
    SCOPED_TRACE(behaviour);
    const Outcome outcome = RunPriamctl(
        NodeArgs("run", {"--property", behaviour, "--request", "info", "--short-waits-for-tests"}));
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("priamctl: the sidecar did not start: "), std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.out, "") << "no request after a failed launch";
    EXPECT_FALSE(SidecarRunsFor(confDir));
  }
}

TEST_F(RunCommand, BadPropertySourcesAreUsageErrors) {
  testsupport::WriteFile(root.file("open.properties"), "priam.cqluserpassword=x\n", 0644);
  testsupport::WriteFile(root.file("bad.properties"), "just words\n", 0600);
  const std::vector<std::vector<std::string>> cases = {
      {"--properties-file", root.file("open.properties")},
      {"--properties-file", root.file("bad.properties")},
      {"--properties-file", root.file("missing.properties")},
      {"--property-from-env", "priam.cqluserpassword=PRIAMCTL_TEST_UNSET_VARIABLE"},
      {"--property-from-file", "priam.jmx.token=" + root.file("missing")},
      {"--property-from-file", "priam.jmx.token=" + root.path()},
      {"--property", "=value"},
      {"--post", "no-body"},
  };
  for (const auto& extra : cases) {
    const Outcome outcome = RunPriamctl(NodeArgs("run", extra));
    SCOPED_TRACE(extra.back());
    EXPECT_EQ(outcome.exitCode, 2) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
  }
  EXPECT_NE(RunPriamctl(NodeArgs("run", {"--properties-file", root.file("open.properties")}))
                .err.find("chmod 600"),
            std::string::npos);
}

TEST_F(RunCommand, ValueThatWouldBreakTheFileIsRefusedWithoutShowingIt) {
  testsupport::WriteFile(root.file("two-lines"), "first\nsecond\n", 0600);
  const Outcome outcome = RunPriamctl(
      NodeArgs("run", {"--property-from-file", "priam.cqluserpassword=" + root.file("two-lines")}));
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.err,
            "priamctl: cannot write the sidecar's properties: Invalid property "
            "priam.cqluserpassword\n");
  EXPECT_FALSE(SidecarRunsFor(confDir));
}

}  // namespace
}  // namespace clitest
