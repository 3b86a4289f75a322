// priamctl discover and the command line itself, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "PriamctlFixture.h"

namespace clitest {
namespace {

using Discover = PriamctlFixture;

TEST_F(Discover, TableShowsWhatTheSampleNodeHolds) {
  const Outcome outcome = RunPriamctl(NodeArgs("discover"));
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  const std::string yaml = std::string(PRIAMCTL_EXAMPLES) + "/node/cassandra.yaml";
  for (const std::string& row :
       {std::string("Java              ") + PRIAM_STANDIN_JAVA + "\n",
        "YAML file         " + yaml + "\n", std::string("Flavor            cassandra\n"),
        std::string("CQL port          9042\n"), std::string("JMX port          7199\n"),
        std::string("Data directories  /var/lib/cassandra/data1, /var/lib/cassandra/data2\n"),
        std::string("Seeds             10.20.0.11, 10.20.0.12, 10.20.0.13\n")}) {
    EXPECT_NE(outcome.out.find(row), std::string::npos) << row << "in\n" << outcome.out;
  }
}

TEST_F(Discover, JsonHoldsTheSameFactsAndAScyllaTemplateChangesTheFlavor) {
  Outcome outcome = RunPriamctl(NodeArgs("discover", {"--json"}));
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  nlohmann::json facts = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(facts["cql_port"], "9042");
  EXPECT_EQ(facts["jmx_port"], "7199");
  EXPECT_EQ(facts["flavor"], "cassandra");
  EXPECT_EQ(facts["data_directories"],
            nlohmann::json({"/var/lib/cassandra/data1", "/var/lib/cassandra/data2"}));
  EXPECT_EQ(facts["seeds"], nlohmann::json({"10.20.0.11", "10.20.0.12", "10.20.0.13"}));
  EXPECT_EQ(facts["errors"], nlohmann::json::array());

  // A ScyllaDB node: the YAML file the controller names changes with it,
  // and a file that is not there is reported with the error's text.
  testsupport::WriteFile(templateDir + "/zbPriam.properties", "priam.cass.process=scylla\n");
  outcome = RunPriamctl(NodeArgs("discover", {"--json"}));
  EXPECT_EQ(outcome.exitCode, 1);
  facts = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(facts["flavor"], "scylla");
  EXPECT_EQ(facts["errors"].size(), 2u);
  EXPECT_NE(outcome.err.find("priamctl: data directories: Failed to open Cassandra YAML file - "),
            std::string::npos)
      << outcome.err;
}

TEST_F(Discover, FailedInitializationGivesTheControllersReasonAndCode1) {
  testsupport::WriteFile(store, "[Cassandra]\nsPriamTemplateDir=" + root.file("none") + "\n");
  const Outcome outcome = RunPriamctl(NodeArgs("discover"));
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err.rfind("priamctl: initialization failed: ", 0), 0u) << outcome.err;
  EXPECT_NE(outcome.err.find(root.file("none") + "/zbPriam.properties"), std::string::npos);
}

TEST_F(Discover, UsageErrorsAreOneLineWithCode2) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {NodeArgs("discover", {"--no-such-option"}), "--no-such-option"},
      {{"frobnicate"},
       "unknown subcommand 'frobnicate'; the subcommands are discover, run and demo"},
      {{}, "the subcommands are discover, run and demo"},
      {NodeArgs("discover", {"--log-level", "7"}), "--log-level: 7 is not in the range -1 to 3"},
      {NodeArgs("discover", {"--log-level", "abc"}), "--log-level: abc is not a number"},
      {{"discover", "--priam-dir", root.file("missing"), "--priam-conf-dir", confDir,
        "--cassandra-conf-dir", confDir},
       "missing"},
      {{"run", "--priam-dir", priamDir, "--priam-conf-dir", confDir}, "--cassandra-conf-dir"},
      {NodeArgs("run", {"--port", "70000"}), "--port: 70000 is not in the range 1 to 65535"},
      {NodeArgs("run", {"--port", "abc"}), "--port: abc is not a number"},
      {NodeArgs("run", {"--request", ""}), "--request: the operation is empty"},
  };
  for (const auto& usage : cases) {
    const Outcome outcome = RunPriamctl(usage.args);
    SCOPED_TRACE(usage.says + ": " + outcome.err);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.err.rfind("priamctl: ", 0), 0u);
    EXPECT_NE(outcome.err.find(usage.says), std::string::npos);
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line";
  }
  EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriam.properties")) << "nothing was touched";
}

TEST_F(Discover, EveryCommandHasHelpThatNamesTheExitCodes) {
  for (const std::string command : {"", "discover", "run", "demo"}) {
    std::vector<std::string> args;
    if (!command.empty()) args.push_back(command);
    args.push_back("--help");
    const Outcome outcome = RunPriamctl(args);
    EXPECT_EQ(outcome.exitCode, 0) << command;
    EXPECT_NE(outcome.out.find("Exit codes: 0 success"), std::string::npos) << command;
  }
  EXPECT_EQ(RunPriamctl({"run", "--help"}).out.find("short-waits"), std::string::npos)
      << "the tests' option stays out of the help";
}

// Every option a --help lists, as "--name".
std::set<std::string> OptionsInHelp(const std::string& help) {
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z-]*");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
       it != std::sregex_iterator(); ++it) {
    options.insert(it->str());
  }
  return options;
}

TEST_F(Discover, VersionAndManualPageCoverEveryOption) {
  const Outcome version = RunPriamctl({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("priamctl ") + PRIAMCTL_VERSION + "\n");
  EXPECT_EQ(version.err, "");

  // The page is roff: "\-" is a hyphen there.
  const std::string page =
      std::regex_replace(testsupport::ReadFile(PRIAMCTL_MAN_PAGE), std::regex(R"(\\-)"), "-");
  EXPECT_NE(page.find(std::string("\"priamctl ") + PRIAMCTL_VERSION + "\""), std::string::npos);
  for (const std::string command : {"", "discover", "run", "demo"}) {
    std::vector<std::string> args;
    if (!command.empty()) args.push_back(command);
    args.push_back("--help");
    for (const std::string& option : OptionsInHelp(RunPriamctl(args).out)) {
      EXPECT_NE(page.find(option), std::string::npos) << command << " " << option;
    }
  }
  for (const char* section :
       {".SH EXIT STATUS", ".SH ENVIRONMENT", "ZB_PLATFORM_CONFIG", ".SH FILES", ".SH EXAMPLES"}) {
    EXPECT_NE(page.find(section), std::string::npos) << section;
  }
  if (system("command -v groff >/dev/null") != 0) GTEST_SKIP() << "no groff to render the page";
  const std::string warnings = root.file("groff.err");
  EXPECT_EQ(system(("groff -man -Tutf8 -ww -z " + std::string(PRIAMCTL_MAN_PAGE) + " 2>" + warnings)
                       .c_str()),
            0);
  EXPECT_EQ(testsupport::ReadFile(warnings), "") << "the page renders without warnings";
}

TEST_F(Discover, LogLinesGoToTheLogFileOnlyWhenAskedFor) {
  Outcome outcome = RunPriamctl(NodeArgs("discover"));
  EXPECT_EQ(outcome.err, "") << "no log by default";

  const std::string log = root.file("priamctl.log");
  outcome = RunPriamctl(NodeArgs("discover", {"--log-file", log}));
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_NE(testsupport::ReadFile(log).find("CQL port: 9042"), std::string::npos);
  EXPECT_EQ(testsupport::FileMode(log), 0600);

  outcome = RunPriamctl(NodeArgs("discover", {"--log-level", "0"}));
  EXPECT_NE(outcome.err.find("CQL port: 9042"), std::string::npos);

  // An existing file is made owner-only; what is not a regular file is
  // refused before anything runs.
  const std::string shared = root.file("shared.log");
  testsupport::WriteFile(shared, "earlier lines\n", 0644);
  outcome = RunPriamctl(NodeArgs("discover", {"--log-file", shared}));
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(testsupport::FileMode(shared), 0600);
  EXPECT_EQ(testsupport::ReadFile(shared).rfind("earlier lines\n", 0), 0u) << "appended to";

  ASSERT_EQ(symlink(shared.c_str(), root.file("link.log").c_str()), 0);
  for (const auto& refused : {std::make_pair(root.file("no/such/dir/log"), "cannot be opened"),
                              std::make_pair(root.path(), "is a directory"),
                              std::make_pair(root.file("link.log"), "is a symbolic link")}) {
    outcome = RunPriamctl(NodeArgs("discover", {"--log-file", refused.first}));
    EXPECT_EQ(outcome.exitCode, 2) << refused.first;
    EXPECT_EQ(outcome.err.rfind("priamctl: --log-file " + refused.first + " " + refused.second, 0),
              0u)
        << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
  }
}

}  // namespace
}  // namespace clitest
