// priamctl run against the stand-in sidecar: replies, passwords kept off
// the command line, and the failures a user meets.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "LocalPort.h"
#include "PriamctlFixture.h"

namespace clitest {
namespace {

using RunCommand = PriamctlFixture;

const char kPassword[] = "cql-S3cret==";
const char kToken[] = "jmx-T0ken";
const char kKeystore[] = "ks-Pa55";
const char kInline[] = "ts-Inl1ne";

TEST_F(RunCommand, PasswordsFromEnvironmentAndFilesReachTheSidecarThenLeaveTheFile) {
  testsupport::WriteFile(root.file("token"), std::string(kToken) + "\n", 0600);
  testsupport::WriteFile(root.file("empty"), "", 0600);
  testsupport::WriteFile(root.file("secrets.properties"),
                         "# credentials\npriam.keystore.password=" + std::string(kKeystore) +
                             "\npriam.cqlusername=from-file\n",
                         0600);
  const std::string log = root.file("run.log");
  std::vector<std::string> args =
      NodeArgs("run", {"--properties-file", root.file("secrets.properties"), "--property",
                       "priam.cqlusername=cassandra", "--property",
                       "priam.truststore.password=" + std::string(kInline), "--property-from-env",
                       "priam.cqluserpassword=TEST_CQL_PASSWORD", "--property-from-file",
                       "priam.jmx.token=" + root.file("token"), "--request", "info",
                       "--short-waits-for-tests", "--log-level", "3", "--log-file", log});
  // Two secrets that come out empty: warned of, not refused.
  args.insert(args.end(), {"--property-from-file", "priam.server.kspasswd=" + root.file("empty"),
                           "--property-from-env", "priam.server.tspasswd=TEST_EMPTY"});
  const Outcome outcome = RunPriamctl(args, {{"TEST_CQL_PASSWORD", kPassword}, {"TEST_EMPTY", ""}});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;

  const nlohmann::json info = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(outcome.out.rfind("{\"gossip_active\":true,", 0), 0u)
      << "the reply as the sidecar sent it, its keys not re-sorted: " << outcome.out;
  EXPECT_EQ(info["settings"]["priam.cqlusername"], "cassandra") << "--property wins over the file";
  EXPECT_EQ(info["settings"]["priam.cqlport"], "9042") << "discovered values are written";
  EXPECT_EQ(info["settings"]["priam.jmx.port"], "7199");
  for (const char* key : {"priam.cqluserpassword", "priam.jmx.token", "priam.keystore.password",
                          "priam.truststore.password"}) {
    EXPECT_EQ(info["secrets_present"][key], true) << key;
  }
  // The secret that came on the command line and the empty ones are warned
  // of, by key, and no other.
  const std::string warnings =
      "priamctl: warning: --property priam.truststore.password: every user can read a command "
      "line; give secrets with --property-from-env, --property-from-file or --properties-file\n"
      "priamctl: warning: priam.server.kspasswd is empty; check the file or variable it comes "
      "from\n"
      "priamctl: warning: priam.server.tspasswd is empty; check the file or variable it comes "
      "from\n";
  EXPECT_EQ(outcome.err.rfind(warnings, 0), 0u) << outcome.err;
  EXPECT_EQ(outcome.err.find("warning", warnings.size()), std::string::npos) << outcome.err;
  EXPECT_FALSE(SidecarRunsFor(confDir)) << "stopped before priamctl exited";
  EXPECT_NE(outcome.err.find("Sidecar stopped."), std::string::npos);

  const std::string logText = testsupport::ReadFile(log);
  EXPECT_NE(logText.find("CmdString"), std::string::npos) << "the log was written";
  for (const char* secret : {kPassword, kToken, kKeystore, kInline}) {
    EXPECT_EQ(Properties().find(secret), std::string::npos) << secret;
    EXPECT_EQ(logText.find(secret), std::string::npos) << secret;
    EXPECT_EQ(outcome.err.find(secret), std::string::npos) << secret;
  }
}

// The library retries a 404 ten times, half a minute apart: each retry is
// shown as it happens, and the failure in the end in one line.
TEST_F(RunCommand, RequestsGoInCommandLineOrderAndAFailedOneEndsTheRunWithCode1) {
  const Outcome outcome =
      RunPriamctl(NodeArgs("run", {"--request", "info", "--post", "nothing=x", "--request", "info",
                                   "--pretty", "--short-waits-for-tests"}));
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.out.rfind("{\n  \"gossip_active\": true,\n", 0), 0u)
      << "indented, keys in the order sent: " << outcome.out;
  std::string expected = "GET info\nPOST nothing\n";
  for (int attempt = 1; attempt <= 10; ++attempt) {
    expected += "priamctl: POST nothing, attempt " + std::to_string(attempt) +
                " of 10: the sidecar answered HTTP 404; " +
                (attempt < 10 ? "next attempt in 30 s" : "giving up after 30 s") +
                ", Ctrl-C stops\n";
  }
  expected += "priamctl: POST nothing failed: the sidecar answered HTTP 404\n";
  EXPECT_EQ(outcome.err.substr(outcome.err.find("GET info\n")), expected);
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

TEST_F(RunCommand, FailedLaunchSaysWhatTheSidecarDidWithCode1AndNothingLeft) {
  const std::string exited = "the sidecar exited (exit status 1";
  // A Priam installation whose priam.jar is not a jar.
  const std::string notAJar = root.file("not-a-jar");
  mkdir(notAJar.c_str(), 0700);
  Copy(priamDir + "/zblog4j.properties", notAJar + "/zblog4j.properties");
  testsupport::WriteFile(notAJar + "/priam.jar", "not a jar\n");
  const struct {
    std::vector<std::string> extra;
    std::string says;
    std::string jvmSays;  // the JVM's own last line, in the same line
  } cases[] = {
      {{"--property", "standin.never.listen=true"},
       "the sidecar started but never answered on port ",
       ""},
      {{"--property", "standin.exit.immediately=true"}, exited + ") before it answered", ""},
      // A user name without a password: the sidecar cannot log in.
      {{"--property", "priam.cqlusername=backup"},
       "the sidecar started but refused the credentials (HTTP 401); check the user names and "
       "passwords given for the node",
       ""},
      // The JVM refuses the option and exits before the sidecar runs, as
      // written and in the "=" form.
      {{"--java-options", "-Xmx1k"}, exited, "its last output line: \"Too small maximum heap\")"},
      {{"--java-options=-Xmx1k"}, exited, "Too small maximum heap"},
      {{"--priam-dir", notAJar}, exited, "jerseyserve.server\") before it answered"},
  };
  for (const auto& launch : cases) {
    SCOPED_TRACE(launch.extra.back());
    const std::vector<std::string> more = {"--request", "info", "--short-waits-for-tests"};
    std::vector<std::string> args = NodeArgs("run", more);
    if (launch.extra.front() == "--priam-dir") {
      args = NodeArgsWith("--priam-dir", notAJar, "run", more);
    } else {
      args.insert(args.end(), launch.extra.begin(), launch.extra.end());
    }
    const auto started = std::chrono::steady_clock::now();
    const Outcome outcome = RunPriamctl(args);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20))
        << "no wait for a sidecar that is gone";
    EXPECT_EQ(outcome.exitCode, 1);
    const size_t last = outcome.err.rfind("priamctl: ");
    EXPECT_EQ(outcome.err.substr(last, launch.says.size() + 10), "priamctl: " + launch.says)
        << outcome.err;
    EXPECT_NE(outcome.err.substr(last).find(launch.jvmSays), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("[at "), std::string::npos) << "no chain unless asked";
    EXPECT_EQ(outcome.out, "") << "no request after a failed launch";
    EXPECT_FALSE(SidecarRunsFor(confDir));
  }
}

// Log lines, the progress line and the retries of the launch share stderr;
// none breaks another.
TEST_F(RunCommand, LinesOnStderrStayWholeWithLogsProgressAndRetries) {
  const Outcome outcome =
      RunPriamctl(NodeArgs("run", {"--property", "standin.warmup.requests=1", "--request", "info",
                                   "--log-level", "3", "--short-waits-for-tests"}));
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_NE(outcome.err.find("\npriamctl: GET info, attempt 1 of 2: the sidecar answered HTTP 503 "
                             "(its back end is not available yet); next attempt in 10 s, Ctrl-C "
                             "stops\n"),
            std::string::npos)
      << outcome.err;
  const std::regex logLine("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]{12} \\[-?[0-9]\\] ");
  std::istringstream lines(outcome.err);
  int logLines = 0;
  for (std::string line; std::getline(lines, line);) {
    std::smatch found;
    if (!std::regex_search(line, found, logLine)) continue;
    ++logLines;
    EXPECT_EQ(found.position(0), 0) << "a log line begins its line: " << line;
  }
  EXPECT_GT(logLines, 10);
}

// Each is refused with one line and code 2 before the controller replaces
// zbPriam.properties, whether there was one or not.
TEST_F(RunCommand, BadPropertySourcesAndNodeValuesAreUsageErrorsThatTouchNothing) {
  testsupport::WriteFile(root.file("open.properties"), "priam.cqluserpassword=x\n", 0644);
  testsupport::WriteFile(root.file("bad.properties"), "just words\n", 0600);
  testsupport::WriteFile(root.file("binary.properties"), std::string("a=\x01\x02\0b\n", 7), 0600);
  testsupport::WriteFile(root.file("binary"),
                         std::string("\x7f"
                                     "ELF\x02\x01\0\0",
                                     8),
                         0600);
  testsupport::WriteFile(root.file("two-lines"), "first-S3cret\nsecond\n", 0600);
  const struct {
    std::vector<std::string> args;
    std::string says;
  } sources[] = {
      {{"--properties-file", root.file("open.properties")}, "make it owner-only (chmod 600)"},
      {{"--properties-file", root.file("bad.properties")}, ":1: not a KEY=VALUE line"},
      {{"--properties-file", root.file("binary.properties")}, ":1: not a KEY=VALUE line"},
      {{"--properties-file", root.file("missing.properties")}, " does not exist"},
      {{"--properties-file", root.path()}, root.path() + " is a directory, not a file"},
      {{"--property-from-env", "priam.cqluserpassword=PRIAMCTL_TEST_UNSET_VARIABLE"},
       "VARIABLE set"},
      {{"--property-from-file", "priam.jmx.token=" + root.file("missing")}, " does not exist"},
      {{"--property-from-file", "priam.jmx.token=" + root.path()}, " is a directory, not a file"},
      {{"--property-from-file", "priam.jmx.token=" + root.file("binary")},
       " is not one line of text"},
      {{"--property-from-file", "priam.cqluserpassword=" + root.file("two-lines")},
       " is not one line of text"},
      {{"--property", "=value"}, "--property wants KEY=VALUE"},
      {{"--property", "priam.cqlusername=one\ntwo"}, "--property wants KEY=VALUE"},
      {{"--post", "no-body"}, "wants OPERATION=BODY"},
  };
  std::vector<std::pair<std::vector<std::string>, std::string>> cases;
  for (const auto& bad : sources) cases.push_back({NodeArgs("run", bad.args), bad.says});
  for (const UnusableNode& node : UnusableNodes()) {
    cases.push_back({NodeArgsWith("--cassandra-conf-dir", node.dir, "run"), node.says});
  }
  const std::string earlier = "# what an earlier run left\npriam.cqlport=9042\n";
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.second);
    for (const bool hadFile : {false, true}) {
      if (hadFile) testsupport::WriteFile(confDir + "/zbPriam.properties", earlier, 0600);
      const Outcome outcome = RunPriamctl(bad.first);
      EXPECT_EQ(outcome.exitCode, 2) << outcome.err;
      EXPECT_NE(outcome.err.find(bad.second), std::string::npos) << outcome.err;
      EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
      EXPECT_EQ(outcome.err.find("S3cret"), std::string::npos) << "a value is never shown";
      if (hadFile) {
        EXPECT_EQ(Properties(), earlier) << "untouched";
        unlink((confDir + "/zbPriam.properties").c_str());
      } else {
        EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriam.properties")) << "not written";
      }
      EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriamlog4j.properties"));
    }
  }
}

}  // namespace
}  // namespace clitest
