// The whole launch for real: the controller starts the stand-in sidecar with
// the JDK, follows it with the real ps, talks to it through libcurl, takes
// the secrets out of its properties file and kills it. Only the library's
// sleeps are shortened.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "LaunchFixture.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"
#include "ZbProcess.h"

namespace {

using launchtest::kSecrets;
using testsupport::ProcessExists;
using testsupport::ReadFile;
using testsupport::ScopedConfigStore;
using testsupport::ScopedLogCapture;
using testsupport::TempDir;
using testsupport::WriteFile;
using ZbCassandra::PriamUtil;
using ZbCassandra::requestType;

class LaunchEndToEnd : public launchtest::LaunchTest {};

TEST_F(LaunchEndToEnd, FreePortLaunchAnswersForgetsItsSecretsAndStops) {
  PriamUtil& priam = Make();
  WriteProperties();

  const CYrError started = priam.startPriam();
  ASSERT_FALSE(started.IsError()) << started.AsString();
  ASSERT_TRUE(priam.priamStarted());
  const int port = priam.priamPort();
  const pid_t pid = priam.priamPid();
  EXPECT_GT(port, 0);
  EXPECT_EQ(PortInProcessTable(pid), std::to_string(port));
  EXPECT_EQ(priam.priamUrl(), "http://localhost:" + std::to_string(port) + "/REST");
  EXPECT_EQ(log->Count("Port: 0"), 1);
  EXPECT_EQ(log->Count("Updating Priam port and url with port number " + std::to_string(port)), 0);

  // The sidecar read its credentials before they left the file.
  const nlohmann::json info = Info();
  ASSERT_TRUE(info.is_object());
  EXPECT_EQ(info["port"], port);
  EXPECT_EQ(info["settings"]["priam.cqlhost"], "127.0.0.1");
  for (const auto& secret : kSecrets) EXPECT_EQ(info["secrets_present"][secret.first], true);
  ExpectNoSecretLeft();
  EXPECT_EQ(testsupport::FileMode(confDir + "/zbPriam.properties"), 0600);
  EXPECT_NE(Properties().find("priam.cqlusername=cassandra\n"), std::string::npos);

  ASSERT_FALSE(priam.stopPriam().IsError());
  EXPECT_FALSE(priam.priamStarted());
  EXPECT_FALSE(ProcessExists(pid)) << "killed and reaped: no process, no zombie";
}

TEST_F(LaunchEndToEnd, GivenPortIsUsedUnchangedInTheExactCommandLine) {
  const int port = testsupport::FreeLocalPort();
  PriamUtil& priam = Make(port);
  WriteProperties();

  ASSERT_FALSE(priam.startPriam().IsError());
  EXPECT_EQ(priam.priamPort(), port);
  EXPECT_EQ(log->Count(std::string(" CmdString [") + PRIAM_STANDIN_JAVA +
                       "  -Dzbpriam.config.file=" + confDir + " -cp " + priamDir +
                       "/priam.jar jerseyserve.server " + std::to_string(port) + "]"),
            1);
  EXPECT_EQ(log->Count("Host name [localhost]"), 0) << "no free-port search for a given port";
  EXPECT_EQ(Info()["port"], port);
}

TEST_F(LaunchEndToEnd, JavaOptionsStandBetweenTheExecutableAndTheSidecarsOptions) {
  PriamUtil& priam = Make();
  priam.setJavaOptions("-Xmx64m -Dstandin.marker=1");
  WriteProperties();

  ASSERT_FALSE(priam.startPriam().IsError());
  std::string args;
  ZbProcess::system("ps --no-headers -o args -p " + std::to_string(priam.priamPid()), &args,
                    nullptr, 0, true);
  EXPECT_EQ(args.rfind(std::string(PRIAM_STANDIN_JAVA) +
                           " -Xmx64m -Dstandin.marker=1 -Dzbpriam.config.file=",
                       0),
            0u)
      << args;
}

TEST_F(LaunchEndToEnd, VerificationHookEndsWithThePortValidationAdopting12345) {
  if (testsupport::PortAcceptsConnections(12345)) GTEST_SKIP() << "port 12345 is taken here";
  store.Set("Cassandra", "nCassandraVerifyPriamPort", "1");
  PriamUtil& priam = Make();
  WriteProperties();

  const CYrError started = priam.startPriam();
  ASSERT_FALSE(started.IsError()) << started.AsString();
  EXPECT_EQ(log->Count("Simulating wrong port usage by Priam. Using port 12345"), 1);
  EXPECT_EQ(priam.priamPort(), 12345);
  EXPECT_EQ(priam.priamUrl(), "http://localhost:12345/REST");
  EXPECT_EQ(log->Count("Updating Priam port and url with port number 12345"), 1);
  EXPECT_EQ(Info()["port"], 12345);
}

TEST_F(LaunchEndToEnd, ConnectionCheckPassesAfterTheBackEndWarmsUp) {
  PriamUtil& priam = Make();
  WriteProperties({{"standin.warmup.requests", "1"}});

  ASSERT_FALSE(priam.startPriam().IsError());
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{30000, 10000}));
  EXPECT_EQ(log->Count(" Resource unavailable, sleeping "), 1);
}

TEST_F(LaunchEndToEnd, BackEndUnavailablePastTheLimitStopsTheSidecar) {
  PriamUtil& priam = Make();
  WriteProperties({{"standin.warmup.requests", "100"}});

  const CYrError error = priam.startPriam();
  EXPECT_EQ(error.Code(), 5006);
  EXPECT_EQ(error.Message(), "JMXConnectionError");
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{30000, 10000, 10000}));
  EXPECT_FALSE(priam.priamStarted());
  EXPECT_EQ(priam.priamPid(), 0) << "the killed sidecar is reaped";
  ExpectNoSecretLeft();
}

TEST_F(LaunchEndToEnd, RefusedLoginStopsTheSidecarAtOnceUnlessFailuresAreIgnored) {
  for (const bool ignore : {false, true}) {
    SCOPED_TRACE(ignore ? "ignoring connection failures" : "not ignoring");
    PriamUtil& priam = Make(0, PRIAM_STANDIN_JAVA, ignore);
    WriteProperties();
    std::map<std::string, std::string> noPassword = kSecrets;
    noPassword.erase("priam.cqluserpassword");
    noPassword["priam.cqlusername"] = "cassandra";
    ASSERT_FALSE(priam.writePriamProperties(noPassword).IsError());
    log->Clear();

    const CYrError result = priam.startPriam();
    if (ignore) {
      EXPECT_FALSE(result.IsError());
      EXPECT_TRUE(priam.priamStarted());
      EXPECT_TRUE(ProcessExists(priam.priamPid()));
    } else {
      EXPECT_TRUE(result.IsError());
      EXPECT_EQ(result.Code(), 5);
      EXPECT_EQ(result.Message(), "AuthenticationError");
      EXPECT_EQ(result.Frames().size(), 2u);
      EXPECT_FALSE(priam.priamStarted());
      EXPECT_EQ(priam.priamPid(), 0);
      EXPECT_EQ(log->Count("Error: " + result.AsString()), 1);
    }
    EXPECT_EQ(Sleeps().back(), 30000u) << "no retry after a refused login";
    ExpectNoSecretLeft();
  }
}

TEST_F(LaunchEndToEnd, JavaThatDoesNotExistFailsToStartAndStillRemovesTheSecrets) {
  PriamUtil& priam = Make(0, root.file("no/such/java"));
  WriteProperties();

  const CYrError error = priam.startPriam();
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.Code(), 1627);
  EXPECT_EQ(error.Message().rfind("FAILED TO START THE PROCESS [", 0), 0u) << error.Message();
  EXPECT_NE(error.Message().find("No such file or directory"), std::string::npos);
  EXPECT_EQ(log->Texts(-1), std::vector<std::string>{error.Message()});
  EXPECT_FALSE(priam.priamStarted());
  EXPECT_TRUE(Sleeps().empty()) << "no connection check without a process";
  ExpectNoSecretLeft();
}

TEST_F(LaunchEndToEnd, SecretsThatCannotBeRemovedFailTheLaunchThatLeftThem) {
  PriamUtil& priam = Make();
  WriteProperties();
  const std::string properties = confDir + "/zbPriam.properties";
  // Once the sidecar has started, the file it read is kept aside and a
  // directory stands in its place: no rewrite can take the secrets out.
  ZbCassandra::PriamUtilTestAccess::afterSpawn(priam) = [&](pid_t) {
    ASSERT_EQ(rename(properties.c_str(), (properties + ".kept").c_str()), 0);
    ASSERT_EQ(mkdir(properties.c_str(), 0700), 0);
  };
  const CYrError launched = priam.startPriam();
  EXPECT_EQ(launched.Code(), 13);
  EXPECT_EQ(launched.Message().rfind(
                "Priam started, but its secrets could not be removed from " + properties + ": ", 0),
            0u)
      << launched.AsString();
  EXPECT_TRUE(priam.priamStarted()) << "the sidecar runs all the same";
  const std::vector<std::string> failures = log->Texts(-1);
  EXPECT_EQ(std::count_if(failures.begin(), failures.end(),
                          [](const std::string& text) {
                            return text.rfind("Failed to remove the secret entries", 0) == 0;
                          }),
            1)
      << log->AllText();
  ASSERT_EQ(rmdir(properties.c_str()), 0);
}

TEST_F(LaunchEndToEnd, FailedPortValidationLeavesTheSidecarRunningUntilDestruction) {
  PriamUtil& priam = Make();
  WriteProperties();
  pid_t pid = 0;
  {
    testsupport::FakeTools tools;
    tools.AddPrinting("ps", "");
    tools.AddPrinting("netstat", "");
    const CYrError error = priam.startPriam();
    EXPECT_EQ(error.Code(), 1359);
    EXPECT_EQ(log->Count("Failed to validate Priam port"), 1);
    pid = priam.priamPid();
  }
  EXPECT_TRUE(priam.priamStarted());
  EXPECT_TRUE(ProcessExists(pid));
  EXPECT_TRUE(Sleeps().empty()) << "no connection check after a failed validation";
  ExpectNoSecretLeft();

  controller.reset();
  EXPECT_FALSE(ProcessExists(pid)) << "destroying the controller stops its sidecar";
}

TEST_F(LaunchEndToEnd, SidecarThatExitsAtOnceEndsTheLaunchWithoutAnOrphan) {
  PriamUtil& priam = Make();
  WriteProperties({{"standin.exit.immediately", "true"}});

  const CYrError error = priam.startPriam();
  ASSERT_TRUE(error.IsError());
  EXPECT_FALSE(priam.priamStarted());
  EXPECT_EQ(priam.priamPid(), 0);
  ExpectNoSecretLeft();
}

TEST_F(LaunchEndToEnd, SidecarListeningElsewhereFailsTheCheckAfterTenAttempts) {
  PriamUtil& priam = Make();
  WriteProperties({{"standin.listen.port", std::to_string(testsupport::FreeLocalPort())}});

  const CYrError error = priam.startPriam();
  EXPECT_EQ(error.Code(), 2250);
  const std::vector<uint32_t> sleeps = Sleeps();
  EXPECT_EQ(sleeps.size(), 11u) << "the wait, then ten refused attempts";
  EXPECT_FALSE(priam.priamStarted());
  EXPECT_EQ(priam.priamPid(), 0);
}

TEST_F(LaunchEndToEnd, ShellCharactersInAPathAreOnlyPartOfThePath) {
  // Run where a relative "touch" would land, and keep blanks out of the
  // name: they separate the words of the launch command.
  ASSERT_EQ(chdir(root.path().c_str()), 0);
  const std::string marker = root.file("PWNED");
  const std::string oddConf =
      root.file("conf;touch${IFS}PWNED;$(touch${IFS}PWNED)`touch${IFS}PWNED`|touch${IFS}PWNED");
  ASSERT_EQ(mkdir(oddConf.c_str(), 0700), 0);
  controller.reset(new PriamUtil(0, PRIAM_STANDIN_JAVA, priamDir, oddConf, nodeDir, false));
  ASSERT_FALSE(controller->initFailed());

  ASSERT_FALSE(controller->startPriam().IsError());
  EXPECT_FALSE(testsupport::PathExists(marker));
}

TEST_F(LaunchEndToEnd, StoppedSidecarCanBeLaunchedAgainOnTheSamePort) {
  PriamUtil& priam = Make();
  WriteProperties();
  ASSERT_FALSE(priam.startPriam().IsError());
  const int port = priam.priamPort();
  const pid_t first = priam.priamPid();
  ASSERT_FALSE(priam.stopPriam().IsError());

  WriteProperties();
  ASSERT_FALSE(priam.startPriam().IsError());
  EXPECT_EQ(priam.priamPort(), port);
  EXPECT_NE(priam.priamPid(), first);
  EXPECT_FALSE(ProcessExists(first));
}

}  // namespace
