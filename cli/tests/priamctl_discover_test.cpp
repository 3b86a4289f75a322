// priamctl discover and the command line itself, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

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
  EXPECT_EQ(facts["defaults"], nlohmann::json::array());

  // A ScyllaDB node: the controller reads scylla.yaml instead, which must
  // be there.
  testsupport::WriteFile(templateDir + "/zbPriam.properties", "priam.cass.process=scylla\n");
  outcome = RunPriamctl(NodeArgs("discover", {"--json"}));
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.err.rfind("priamctl: the node's file " + std::string(PRIAMCTL_EXAMPLES) +
                                  "/node/scylla.yaml does not exist; point --cassandra-conf-dir",
                              0),
            0u)
      << outcome.err;
  const std::string node = SampleNodeWith("scylla", "cassandra.yaml", "native_transport_port: 9042",
                                          "native_transport_port: 9142");
  ASSERT_EQ(rename((node + "/cassandra.yaml").c_str(), (node + "/scylla.yaml").c_str()), 0);
  outcome = RunPriamctl(NodeArgsWith("--cassandra-conf-dir", node, "discover", {"--json"}));
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  facts = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(facts["flavor"], "scylla");
  EXPECT_EQ(facts["yaml_file"], node + "/scylla.yaml");
  EXPECT_EQ(facts["cql_port"], "9142");
}

// A stock cassandra.yaml leaves data_file_directories commented out, and a
// node may have no cassandra-env.sh: an answer, marked, not a failure.
TEST_F(Discover, WhatTheNodesFilesDoNotSayIsMarkedNotFailed) {
  const std::string node = root.file("node");
  mkdir(node.c_str(), 0700);
  testsupport::WriteFile(node + "/cassandra.yaml",
                         "cluster_name: 'Test Cluster'\n"
                         "# If not set, the default directory is $CASSANDRA_HOME/data/data.\n"
                         "# data_file_directories:\n"
                         "#     - /var/lib/cassandra/data\n"
                         "# native_transport_port: 9142\n"
                         "seed_provider:\n"
                         "  - class_name: org.apache.cassandra.locator.SimpleSeedProvider\n"
                         "    parameters:\n"
                         "      - seeds: \"127.0.0.1:7000\"\n");
  std::vector<std::string> args = NodeArgsWith("--cassandra-conf-dir", node, "discover");
  Outcome outcome = RunPriamctl(args);
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  for (const std::string row :
       {"CQL port          9042 (default)\n", "JMX port          7199 (default)\n",
        "Data directories  not set in cassandra.yaml (the node uses its "
        "default)\n",
        "Seeds             127.0.0.1\n"}) {
    EXPECT_NE(outcome.out.find(row), std::string::npos) << row << "in\n" << outcome.out;
  }
  args.push_back("--json");
  outcome = RunPriamctl(args);
  EXPECT_EQ(outcome.exitCode, 0);
  const nlohmann::json facts = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(facts["defaults"], nlohmann::json({"cql_port", "jmx_port", "data_directories"}));
  EXPECT_EQ(facts["data_directories"], nlohmann::json::array());
  EXPECT_EQ(facts["cql_port"], "9042");
}

// What the library read but the sidecar could not use is a report, not a
// failure: named on stderr, marked in the table and in the JSON.
TEST_F(Discover, ValuesTheSidecarCannotUseAreNamedAndMarkedNotFailed) {
  for (const UnusableNode& node : UnusableNodes()) {
    SCOPED_TRACE(node.says);
    std::vector<std::string> args = NodeArgsWith("--cassandra-conf-dir", node.dir, "discover");
    Outcome outcome = RunPriamctl(args);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.out.find(node.row), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.err.rfind("priamctl: warning: " + node.says + "; ", 0), 0u) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    args.push_back("--json");
    outcome = RunPriamctl(args);
    EXPECT_EQ(outcome.exitCode, 0);
    const nlohmann::json facts = nlohmann::json::parse(outcome.out);
    EXPECT_EQ(facts["invalid"], nlohmann::json({node.key}));
    EXPECT_EQ(facts["errors"], nlohmann::json::array());
  }
}

// Each is one line with code 2, before the controller replaces
// zbPriam.properties.
TEST_F(Discover, InputFilesAreCheckedBeforeTheControllerTouchesAnything) {
  const std::string binaryStore = root.file("binary.ini");
  testsupport::WriteFile(binaryStore, std::string("\x7f"
                                                  "ELF\x02\x01\0\0\n[Cassandra]\n",
                                                  20));
  const std::string node = root.file("node");
  mkdir(node.c_str(), 0700);
  mkdir((node + "/cassandra.yaml").c_str(), 0700);
  const std::string noTemplate = root.file("no-template.ini");
  testsupport::WriteFile(noTemplate, "[Cassandra]\nsPriamTemplateDir=" + root.file("none") + "\n");
  const std::string noYaml = root.file("no-yaml");
  mkdir(noYaml.c_str(), 0700);
  // The log4j template is read while the configuration directory has no
  // log4j file of its own.
  const std::string log4jDir = root.file("log4j-dir");
  mkdir(log4jDir.c_str(), 0700);
  mkdir((log4jDir + "/zblog4j.properties").c_str(), 0700);
  const std::string noLog4j = root.file("no-log4j");
  mkdir(noLog4j.c_str(), 0700);
  const std::string ownLog4jDir = root.file("own-log4j-dir");
  mkdir(ownLog4jDir.c_str(), 0700);
  mkdir((ownLog4jDir + "/zbPriamlog4j.properties").c_str(), 0700);
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {NodeArgsWith("--config", binaryStore, "discover"),
       "--config " + binaryStore + ":1: not a [Section], name=value or comment line"},
      {NodeArgsWith("--config", root.path(), "discover"),
       "--config " + root.path() + " is a directory, not a file"},
      {NodeArgsWith("--config", noTemplate, "discover"),
       "the properties template " + root.file("none") +
           "/zbPriam.properties does not exist; name the directory that holds "
           "zbPriam.properties as sPriamTemplateDir in section [Cassandra] of the "
           "configuration store (--config FILE)"},
      {NodeArgsWith("--cassandra-conf-dir", node, "discover"),
       "the node's file " + node + "/cassandra.yaml is a directory, not a file"},
      {NodeArgsWith("--cassandra-conf-dir", noYaml, "run"),
       "the node's file " + noYaml +
           "/cassandra.yaml does not exist; point --cassandra-conf-dir at the node's "
           "configuration directory, or name its YAML file as sCassandraYamlFile in section "
           "[Cassandra] of the configuration store (--config FILE)"},
      {NodeArgsWith("--priam-dir", log4jDir, "run"),
       "the log4j template " + log4jDir +
           "/zblog4j.properties is a directory, not a file; --priam-dir must name the Priam "
           "installation directory that holds zblog4j.properties"},
      {NodeArgsWith("--priam-dir", noLog4j, "discover"),
       "the log4j template " + noLog4j + "/zblog4j.properties does not exist"},
      {NodeArgsWith("--priam-conf-dir", ownLog4jDir, "discover"),
       "the sidecar's log4j file " + ownLog4jDir +
           "/zbPriamlog4j.properties is a directory, not a file"},
      {{"demo", "--config", binaryStore}, "--config " + binaryStore + ":1: "},
  };
  for (const auto& bad : cases) {
    const Outcome outcome = RunPriamctl(bad.args);
    SCOPED_TRACE(bad.says);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.err.rfind("priamctl: " + bad.says, 0), 0u) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriam.properties"));
    EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriamlog4j.properties"));
  }
}

TEST_F(Discover, FailedInitializationShowsItsFirstCauseAndTheChainOnlyWhenAsked) {
  // The properties file cannot be replaced: the controller's own
  // initialization fails.
  mkdir((confDir + "/zbPriam.properties").c_str(), 0700);
  const std::string cause = "priamctl: cannot initialize the controller: Cannot replace " +
                            confDir + "/zbPriam.properties: Is a directory\n";
  Outcome outcome = RunPriamctl(NodeArgs("discover"));
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, cause);

  // Asked for, the whole chain follows on a line of its own.
  for (const std::vector<std::string>& asked :
       {std::vector<std::string>{"--verbose"}, std::vector<std::string>{"--log-level", "-1"}}) {
    outcome = RunPriamctl(NodeArgs("discover", asked));
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find(cause + "priamctl: the library's error: "), std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("[at PriamUtil:"), std::string::npos) << "the whole chain";
  }
}

TEST_F(Discover, UsageErrorsAreOneLineWithCode2) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {NodeArgs("discover", {"--no-such-option"}), "--no-such-option"},
      {{"frobnicate"},
       "unknown subcommand 'frobnicate'; the subcommands are discover, run, status, stop and demo"},
      {{}, "the subcommands are discover, run, status, stop and demo"},
      {NodeArgs("discover", {"--log-level", "7"}), "--log-level: 7 is not in the range -1 to 3"},
      {NodeArgs("discover", {"--log-level", "abc"}), "--log-level: abc is not a number"},
      {{"discover", "--priam-dir", root.file("missing"), "--priam-conf-dir", confDir,
        "--cassandra-conf-dir", confDir},
       "missing"},
      {{"run", "--priam-dir", priamDir, "--priam-conf-dir", confDir}, "--cassandra-conf-dir"},
      {NodeArgs("run", {"--port", "70000"}), "--port: 70000 is not in the range 1 to 65535"},
      {NodeArgs("run", {"--port", "abc"}), "--port: abc is not a number"},
      {NodeArgs("run", {"--port", ""}), "--port: an empty value is not a number"},
      {{"--frobnicate"},
       "unknown option '--frobnicate'; priamctl takes --help, --version or a subcommand: "
       "discover, run, status, stop and demo"},
      {NodeArgs("run", {"--request", ""}), "--request: the operation is empty"},
  };
  for (const auto& usage : cases) {
    const Outcome outcome = RunPriamctl(usage.args);
    SCOPED_TRACE(usage.says + ": " + outcome.err);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.err.rfind("priamctl: ", 0), 0u);
    EXPECT_NE(outcome.err.find(usage.says), std::string::npos);
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line";
    EXPECT_EQ(outcome.err.find("  "), std::string::npos) << "no gap where a word is missing";
  }
  EXPECT_FALSE(testsupport::PathExists(confDir + "/zbPriam.properties")) << "nothing was touched";
}

TEST_F(Discover, EveryCommandHasHelpThatNamesTheExitCodes) {
  for (const std::string command : {"", "discover", "run", "stop", "demo", "status"}) {
    std::vector<std::string> args;
    if (!command.empty()) args.push_back(command);
    args.push_back("--help");
    const Outcome outcome = RunPriamctl(args);
    EXPECT_EQ(outcome.exitCode, 0) << command;
    EXPECT_NE(outcome.out.find(command == "status" ? "Exit codes, as an init script's status: 0 "
                                                     "running"
                                                   : "Exit codes: 0 success"),
              std::string::npos)
        << command;
  }
  const std::string runHelp = RunPriamctl({"run", "--help"}).out;
  EXPECT_EQ(runHelp.find("short-waits"), std::string::npos)
      << "the tests' option stays out of the help";
  EXPECT_NE(runHelp.find("Ctrl-C, SIGTERM or SIGHUP"), std::string::npos) << runHelp;
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
  EXPECT_EQ(RunPriamctl({"help"}).out, RunPriamctl({"--help"}).out);

  // The page is roff: "\-" is a hyphen there.
  const std::string page =
      std::regex_replace(testsupport::ReadFile(PRIAMCTL_MAN_PAGE), std::regex(R"(\\-)"), "-");
  EXPECT_NE(page.find(std::string("\"priamctl ") + PRIAMCTL_VERSION + "\""), std::string::npos);
  for (const std::string command : {"", "discover", "run", "status", "stop", "demo"}) {
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
  // Every file the controller and its sidecar leave behind.
  const std::string files = page.substr(page.find(".SH FILES"));
  for (const char* file : {"zbPriam.properties", "zbPriamlog4j.properties", "zbPriam.lock",
                           "zbPriam.sidecar", "zbPriam.out", "zbPriam.out.1", "zbPriam.log"}) {
    EXPECT_NE(files.find(file), std::string::npos) << file;
  }
  if (system("command -v groff >/dev/null") != 0) GTEST_SKIP() << "no groff to render the page";
  const std::string warnings = root.file("groff.err");
  EXPECT_EQ(system(("groff -man -Tutf8 -ww -z " + std::string(PRIAMCTL_MAN_PAGE) + " 2>" + warnings)
                       .c_str()),
            0);
  EXPECT_EQ(testsupport::ReadFile(warnings), "") << "the page renders without warnings";
}

// The commands of examples/README.md, run as written: from the directory
// that holds examples/, with priamctl on PATH.
TEST_F(Discover, ExamplesReadmeCommandsWorkAsWritten) {
  std::istringstream readme(testsupport::ReadFile(std::string(PRIAMCTL_EXAMPLES) + "/README.md"));
  std::string script;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("    ", 0) == 0) script += line.substr(4) + "\n";
  }
  ASSERT_NE(script.find("priamctl discover"), std::string::npos) << script;
  const std::string scratch = root.file("scratch");
  mkdir(scratch.c_str(), 0700);
  testsupport::WriteFile(root.file("readme.sh"), script);
  const std::string binary = PRIAMCTL_BINARY;
  const std::string command = "cd " + std::string(PRIAMCTL_EXAMPLES) +
                              "/.. && PATH=" + binary.substr(0, binary.rfind('/')) +
                              ":$PATH TMPDIR=" + scratch + " sh -e " + root.file("readme.sh") +
                              " >" + root.file("out") + " 2>" + root.file("err");
  EXPECT_EQ(system(command.c_str()), 0) << testsupport::ReadFile(root.file("err"));
  const std::string out = testsupport::ReadFile(root.file("out"));
  EXPECT_NE(out.find("Data directories  /var/lib/cassandra/data1, /var/lib/cassandra/data2\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"cql_port\": \"9042\""), std::string::npos) << out;
  EXPECT_EQ(testsupport::ReadFile(root.file("err")), "");
  EXPECT_EQ(rmdir(scratch.c_str()), 0) << "what the commands made, they removed";
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
