// Shell metacharacters in every input that reaches a command or a launch:
// the node's pid file (its path in the process list and its content), the
// process list's and the locators' answers that become the Java path, the
// given and configured Java path, the CQL port in the YAML file, and the
// three directories. None of it may run anything: the injected command
// would create a marker file in the working directory, and it never appears.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "DiscoveryFixture.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"
#include "TempDir.h"

namespace {

using testsupport::PathExists;
using testsupport::WriteFile;
using ZbCassandra::PriamUtil;
using Access = ZbCassandra::PriamUtilTestAccess;

constexpr const char* kMarker = "PWNED";

// `value` followed by each way of chaining a command to it. The command has
// no blank (${IFS} stands for one) and no "/", so that it fits in a single
// word and in a file name.
std::vector<std::string> Injections(const std::string& value) {
  const std::string touch = std::string("touch${IFS}") + kMarker;
  return {value + ";" + touch,           value + "$(" + touch + ")", value + "`" + touch + "`",
          value + "|" + touch,           value + "&&" + touch,       value + "\n" + touch,
          value + "'\";" + touch + ";'", "$(" + touch + ")" + value};
}

class ShellInjection : public discoverytest::DiscoveryTest {
 protected:
  ShellInjection() {
    EXPECT_EQ(chdir(work.path().c_str()), 0);
    AddRecordingTool("which", "exit 1");
    AddRecordingTool("whereis", "exit 1");
    controller = MakeController();
  }

  // The process list shows a node started with `pidFileOption` (the text
  // after "-Dcassandra-pidfile="), and answers a query for the command of
  // any pid with `command`.
  void NodeInProcessList(const std::string& pidFileOption, const std::string& command) {
    WriteFile(work.file("ps-ef"), "cassandra 4242 1 3 10:00 ? 00:01:02 java -Dcassandra-pidfile=" +
                                      pidFileOption + " -cp /etc/cassandra Main\n");
    WriteFile(work.file("ps-cmd"), command + "\n");
    AddRecordingTool("ps", "case \"$1\" in -ef) cat '" + work.file("ps-ef") + "' ;; *) cat '" +
                               work.file("ps-cmd") + "' ;; esac");
  }

  // Discover the Java path again, then try a launch with whatever was found.
  void DiscoverAndLaunch() {
    Access::javaPath(*controller) = "";
    controller->initializeJavaPath();
    if (!controller->javaPath().IsEmpty()) controller->startPriam();
    controller->stopPriam();
  }

  bool MarkerExists() const { return PathExists(work.file(kMarker)); }

  std::unique_ptr<PriamUtil> controller;
};

TEST_F(ShellInjection, PidFileContentAndPath) {
  const std::string pidFile = work.file("cassandra.pid");
  for (const std::string& content : Injections("4242")) {
    SCOPED_TRACE(content);
    NodeInProcessList(pidFile, "/usr/bin/java");
    WriteFile(pidFile, content);
    DiscoverAndLaunch();
    EXPECT_FALSE(MarkerExists());
  }
  for (const std::string& path : Injections(pidFile)) {
    SCOPED_TRACE(path);
    NodeInProcessList(path, "/usr/bin/java");
    WriteFile(pidFile, "4242\n");
    DiscoverAndLaunch();
    EXPECT_FALSE(MarkerExists());
  }
  EXPECT_EQ(Calls().find("--no-headers -p 4242;"), std::string::npos);
}

TEST_F(ShellInjection, JavaPathFromEverySource) {
  const std::string pidFile = work.file("cassandra.pid");
  WriteFile(pidFile, "4242\n");
  for (const std::string& java : Injections("/usr/bin/java")) {
    SCOPED_TRACE(java);
    // The running node's command line.
    NodeInProcessList(pidFile, java);
    DiscoverAndLaunch();
    // The command search path, then whereis.
    tools.AddPrinting("ps", "", 1);
    tools.AddPrinting("which", java + "\n");
    DiscoverAndLaunch();
    tools.AddPrinting("which", "", 1);
    tools.AddPrinting("whereis", "java: " + java + "\n");
    DiscoverAndLaunch();
    // The configuration store, and the host's own argument.
    store.Set("FileSystemAgent", "sJavaPath", java);
    DiscoverAndLaunch();
    store.Remove("FileSystemAgent", "sJavaPath");
    PriamUtil given(0, CYrString(java), priamDir.path(), priamConf.path(), cassandraConf.path(),
                    false);
    given.startPriam();
    given.stopPriam();
    EXPECT_FALSE(MarkerExists());
  }
}

TEST_F(ShellInjection, CqlPortInTheYamlFile) {
  AddRecordingTool("netstat", "");
  WriteFile(callsFile(), "");
  for (const std::string& port : Injections("9042")) {
    SCOPED_TRACE(port);
    // Unquoted, and quoted as YAML allows.
    for (const std::string& value : {port, "\"" + port + "\""}) {
      WriteFile(cassandraConf.file("cassandra.yaml"), "native_transport_port: " + value + "\n");
      Access::cqlPort(*controller).clear();
      EXPECT_FALSE(controller->initializePorts().IsError());
      EXPECT_FALSE(MarkerExists());
    }
  }
  // Only the line feed ends the port's line before the injected text, so
  // those two files (bare and quoted) give a plain 9042 and a netstat run.
  EXPECT_EQ(Calls(), "netstat -ln\nnetstat -ln\n");
}

TEST_F(ShellInjection, DirectoryNames) {
  for (const std::string& name : Injections("dir")) {
    SCOPED_TRACE(name);
    std::vector<std::string> dirs;
    for (const char* role : {"priam-", "conf-", "node-"}) {
      dirs.push_back(work.file(role + name));
      ASSERT_EQ(mkdir(dirs.back().c_str(), 0700), 0) << dirs.back();
    }
    WriteFile(dirs[0] + "/zblog4j.properties", "log4j.rootLogger=INFO, R\n");
    WriteFile(dirs[2] + "/cassandra.yaml", "native_transport_port: 9042\n");
    // A program that ends at once stands in for Java: the launch runs to the
    // port validation, which the fake tools fail.
    PriamUtil odd(0, CYrString("/bin/true"), dirs[0], dirs[1], dirs[2], false);
    EXPECT_FALSE(odd.initFailed());
    odd.startPriam();
    odd.stopPriam();
    std::vector<std::string> seen;
    odd.getCassandraDataDir(seen);
    EXPECT_FALSE(MarkerExists());
  }
}

}  // namespace
