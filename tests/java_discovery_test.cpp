#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DiscoveryFixture.h"
#include "FXErrorUtil.h"
#include "common/ErrorCodes.h"
#include "discovery/PidFile.h"

namespace {

using testsupport::CapturingLogWriter;
using testsupport::LogEntry;
using testsupport::PathExists;
using testsupport::ScopedLogCapture;
using ZbCassandra::PriamUtil;
using ZbCassandra::PriamUtilTestAccess;

class JavaDiscovery : public discoverytest::DiscoveryTest {
 protected:
  JavaDiscovery() {
    controller = MakeController();
    PriamUtilTestAccess::javaPath(*controller) = "";
    log->Clear();
    pidFile = work.file("cassandra.pid");
    AddRecordingTool("which", "exit 1");
    AddRecordingTool("whereis", "exit 1");
  }

  // A running node whose command line names `pidFile`; asked for the command
  // of pid 4242 (and only that), ps answers with `command`.
  void RunningNode(const std::string& command = "/opt/jdk/bin/java -Xms1G -cp /etc/cassandra") {
    testsupport::WriteFile(work.file("ps-ef"),
                           "UID   PID  PPID  C STIME TTY   TIME CMD\n"
                           "root     1     0  0 10:00 ?  00:00:01 /sbin/init\n"
                           "cassandra 4242 1 3 10:00 ?  00:01:02 /opt/jdk/bin/java -Xms1G "
                           "-Dcassandra-pidfile=" +
                               pidFile +
                               " -Dcassandra-foreground=no -cp /etc/cassandra "
                               "org.apache.cassandra.service.CassandraDaemon\n");
    testsupport::WriteFile(work.file("ps-cmd"), command.empty() ? "" : command + "\n");
    AddRecordingTool("ps",
                     "case \"$1\" in\n"
                     "  -ef) cat '" +
                         work.file("ps-ef") +
                         "' ;;\n"
                         "  --no-headers) [ \"$3\" = 4242 ] && cat '" +
                         work.file("ps-cmd") +
                         "' ;;\n"
                         "  *) echo \"ps: bad arguments\" >&2; exit 1 ;;\n"
                         "esac\nexit 0");
  }

  std::vector<std::string> Texts() const { return log->Texts(); }

  ScopedLogCapture log;
  std::unique_ptr<PriamUtil> controller;
  std::string pidFile;
};

TEST_F(JavaDiscovery, AGivenPathIsTakenWithoutSearchOrTest) {
  RunningNode();
  std::unique_ptr<PriamUtil> given = MakeController("/does/not/exist/java");
  log->Clear();
  EXPECT_FALSE(given->initFailed());
  EXPECT_FALSE(given->initializeJavaPath().IsError());
  EXPECT_EQ(given->javaPath().str(), "/does/not/exist/java");
  EXPECT_EQ(Calls(), "");
  EXPECT_TRUE(Texts().empty());
}

TEST_F(JavaDiscovery, AConfiguredPathComesBeforeAnySearch) {
  RunningNode();
  store.Set("FileSystemAgent", "sJavaPath", "/opt/configured/bin/java");
  EXPECT_FALSE(controller->initializeJavaPath().IsError());
  EXPECT_EQ(controller->javaPath().str(), "/opt/configured/bin/java");
  EXPECT_EQ(Texts(), std::vector<std::string>{"Java path: '/opt/configured/bin/java'"});
  EXPECT_EQ(log->Entries()[0].level, 0);
  EXPECT_EQ(Calls(), "");
}

TEST_F(JavaDiscovery, KeystorePasswordsOnTheNodesCommandLineAreNotLogged) {
  RunningNode();
  testsupport::WriteFile(work.file("ps-ef"),
                         "cassandra 4242 1 3 10:00 ?  00:01:02 java -Dcassandra-pidfile=" +
                             pidFile + " -Djavax.net.ssl.keyStorePassword=hunter2 -cp x Main\n");
  testsupport::WriteFile(pidFile, "4242\n");
  EXPECT_FALSE(controller->initializeJavaPath().IsError());
  EXPECT_EQ(log->AllText().find("hunter2"), std::string::npos) << log->AllText();
  EXPECT_NE(log->AllText().find("-Djavax.net.ssl.keyStorePassword=********"), std::string::npos);
}

TEST_F(JavaDiscovery, TheRunningNodesJavaIsFoundThroughItsPidFile) {
  RunningNode();
  store.Set("FileSystemAgent", "sJavaPath", "");  // present but empty: not used
  testsupport::WriteFile(pidFile, "4242\n");
  EXPECT_FALSE(controller->initializeJavaPath().IsError());
  EXPECT_EQ(controller->javaPath().str(), "/opt/jdk/bin/java");
  const std::vector<LogEntry> entries = log->Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].level, 2);
  EXPECT_EQ(entries[0].text, "ps output: -Dcassandra-pidfile=" + pidFile +
                                 " -Dcassandra-foreground=no -cp /etc/cassandra \n");
  EXPECT_EQ(entries[1].level, 0);
  EXPECT_EQ(entries[1].text, "Cassandra PID file: " + pidFile);
  EXPECT_EQ(entries[2].level, 0);
  EXPECT_EQ(entries[2].text, "Java path: /opt/jdk/bin/java\n");
  EXPECT_EQ(entries[2].context, "CYrError ZbCassandra::PriamUtil::initializeJavaPath()");
  EXPECT_EQ(Calls(), "ps -ef\nps --no-headers -p 4242 -o cmd\n");
}

TEST_F(JavaDiscovery, PidFileContentThatIsNotAPidRunsNothingAndTheSearchGoesOn) {
  const std::string marker = work.file("marker");
  const std::vector<std::string> contents = {"1; touch " + marker,
                                             "$(touch " + marker + ")",
                                             "`touch " + marker + "`",
                                             "4242\n1; touch " + marker,
                                             "0",
                                             "-5",
                                             "+5",
                                             "12abc",
                                             "99999999999",
                                             "",
                                             std::string("42\0", 3)};
  RunningNode();
  tools.AddPrinting("which", "/usr/bin/java\n");
  for (const std::string& content : contents) {
    testsupport::WriteFile(pidFile, content);
    PriamUtilTestAccess::javaPath(*controller) = "";
    log->Clear();
    EXPECT_FALSE(controller->initializeJavaPath().IsError());
    EXPECT_EQ(controller->javaPath().str(), "/usr/bin/java") << content;
    EXPECT_EQ(log->Count("Failed to read Cassandra's pid file: the content of " + pidFile +
                         " is not a pid."),
              1)
        << content;
  }
  EXPECT_FALSE(PathExists(marker));
  EXPECT_EQ(Calls().find("--no-headers"), std::string::npos);
}

TEST_F(JavaDiscovery, UnreadablePidFilesFailThatSourceOnly) {
  RunningNode();
  tools.AddPrinting("which", "/usr/bin/java\n");
  // Missing, a directory, and a FIFO that nobody writes to (must not block).
  ASSERT_EQ(mkfifo(work.file("fifo").c_str(), 0600), 0);
  for (const std::string& path : {pidFile, work.path(), work.file("fifo")}) {
    pidFile = path;
    RunningNode();
    PriamUtilTestAccess::javaPath(*controller) = "";
    log->Clear();
    EXPECT_FALSE(controller->initializeJavaPath().IsError());
    EXPECT_EQ(controller->javaPath().str(), "/usr/bin/java");
    const std::vector<std::string> texts = Texts();
    ASSERT_EQ(texts.size(), 4u) << path;
    EXPECT_EQ(texts[2].rfind("Failed to read Cassandra's pid file: ", 0), 0u) << texts[2];
    EXPECT_NE(texts[2].find(path), std::string::npos) << texts[2];
    EXPECT_EQ(texts[3], "Java path: '/usr/bin/java'");
  }
}

TEST_F(JavaDiscovery, NoNodeProcessMovesOnToTheSearchPath) {
  // ps lists no process with a pid-file option: grep finds nothing.
  tools.AddPrinting("ps", "root 1 0 0 10:00 ? 00:00:01 /sbin/init\n");
  tools.AddPrinting("which", "/usr/lib/jvm/bin/java\n");
  EXPECT_FALSE(controller->initializeJavaPath().IsError());
  EXPECT_EQ(controller->javaPath().str(), "/usr/lib/jvm/bin/java");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Failed to retrieve Cassandra's pid file: .",
                                               "Java path: '/usr/lib/jvm/bin/java'"}));
}

TEST_F(JavaDiscovery, CommandLineQueryFailuresMoveOnToTheSearchPath) {
  testsupport::WriteFile(pidFile, "4242\n");
  tools.AddPrinting("which", "/usr/bin/java\n");

  // The query itself fails.
  RunningNode();
  tools.Add("awk", "echo 'awk: fatal' >&2\nexit 2");
  EXPECT_FALSE(controller->initializeJavaPath().IsError());
  EXPECT_EQ(log->Count("Failed to retrieve Cassandra's java path: awk: fatal\n."), 1);
  EXPECT_EQ(controller->javaPath().str(), "/usr/bin/java");

  // The process named by the pid file no longer runs: no output.
  std::remove((tools.directory() + "/awk").c_str());
  RunningNode("");
  PriamUtilTestAccess::javaPath(*controller) = "";
  log->Clear();
  EXPECT_FALSE(controller->initializeJavaPath().IsError());
  EXPECT_EQ(controller->javaPath().str(), "/usr/bin/java");
  const std::vector<std::string> texts = Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[2],
            "Failed to retrieve Cassandra's java path: no command line for process 4242.");
  EXPECT_EQ(texts[3], "Java path: '/usr/bin/java'");
}

TEST_F(JavaDiscovery, SearchPathFailuresAreAlwaysLoggedAndWhereisIsTried) {
  struct Case {
    std::string which;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"echo 'which: no java' >&2; exit 1", "Failed to get hadoop envvars. which: no java\n"},
      {"echo /usr/bin/java; echo 'warning' >&2",
       "Failed to get java path from 'hadoop envvars'. warning\n"},
      {"exit 0", "Failed to get java path from 'hadoop envvars'. "},
      {"echo", "Failed to get java path from 'hadoop envvars'. "},
  };
  const std::string java = work.write("java", "");
  tools.AddPrinting("whereis", "java: " + java + "\n");
  for (const Case& c : cases) {
    tools.Add("which", c.which);
    PriamUtilTestAccess::javaPath(*controller) = "";
    log->Clear();
    EXPECT_FALSE(controller->initializeJavaPath().IsError());
    EXPECT_EQ(controller->javaPath().str(), java) << c.which;
    const std::vector<LogEntry> entries = log->Entries();
    ASSERT_EQ(entries.size(), 3u) << c.which;
    EXPECT_EQ(entries[1].level, -1);
    EXPECT_EQ(entries[1].text, c.message);
    EXPECT_FALSE(entries[1].askedLevelFirst);
    EXPECT_EQ(entries[2].text, "Java path : '" + java + "'");
  }
}

TEST_F(JavaDiscovery, WhereisTakesTheFirstListedLocationThatExists) {
  const std::string java = work.write("java", "");
  tools.AddPrinting("whereis", "java: " + work.file("gone") + "  " + java + " /usr/share/man\n");
  EXPECT_FALSE(controller->initializeJavaPath().IsError());
  EXPECT_EQ(controller->javaPath().str(), java);
  EXPECT_EQ(Texts().back(), "Java path : '" + java + "'");
}

TEST_F(JavaDiscovery, WhereisFailuresEndTheSearchWithNotFound) {
  struct Case {
    std::string whereis;
    std::string message;  // empty: no message of its own
  };
  const std::vector<Case> cases = {
      {"echo 'whereis: oops' >&2; exit 2", "Failed to locate the java binary: whereis: oops\n"},
      {"exit 0", "Failed to get java path. "},
      {"echo 'java: /usr/bin/java'; echo 'odd' >&2", "Failed to get java path. odd\n"},
      {"echo 'java:'", ""},
      {"echo 'java: /nonexistent/java /nonexistent/jre'", ""},
  };
  for (const Case& c : cases) {
    AddRecordingTool("whereis", c.whereis);
    log->Clear();
    const CYrError error = controller->initializeJavaPath();
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, ZbCassandra::kNotFound)) << c.whereis;
    EXPECT_EQ(error.Message(), "Failed to get java path");
    EXPECT_TRUE(controller->javaPath().IsEmpty());
    const std::vector<LogEntry> entries = log->Entries();
    // The pid-file and "which" failures come first.
    ASSERT_EQ(entries.size(), c.message.empty() ? 2u : 3u) << c.whereis;
    if (!c.message.empty()) {
      EXPECT_EQ(entries[2].text, c.message);
      EXPECT_EQ(entries[2].level, -1);
      EXPECT_FALSE(entries[2].askedLevelFirst);
    }
  }
  // A failed search leaves nothing behind: each call asks every source again.
  std::string expected;
  for (size_t i = 0; i < cases.size(); ++i) expected += "which java\nwhereis java\n";
  EXPECT_EQ(Calls(), expected);
}

TEST_F(JavaDiscovery, AFailedSearchFailsTheInitialization) {
  log->SetLevel(-1);
  std::unique_ptr<PriamUtil> failed = MakeController("");
  EXPECT_TRUE(failed->initFailed());
  EXPECT_TRUE(failed->javaPath().IsEmpty());
  // The later steps did not run.
  EXPECT_TRUE(failed->cassandraYamlFile().empty());
  EXPECT_TRUE(failed->cqlPort().empty());
  EXPECT_TRUE(failed->jmxPort().empty());
  std::string file = "kept";
  std::string flavor = "kept too";
  failed->getConfFileNameCassFlavor(file, flavor);
  EXPECT_EQ(file, "kept");
  EXPECT_EQ(flavor, "kept too");
}

TEST(PidFile, PathIsCutFromTheSearchOutputAtTheFirstWhiteSpace) {
  std::string path;
  EXPECT_FALSE(ZbCassandra::PidFilePathFromSearchOutput("", &path));
  EXPECT_FALSE(ZbCassandra::PidFilePathFromSearchOutput("-Dcassandra-pidfile\n", &path));
  ASSERT_TRUE(
      ZbCassandra::PidFilePathFromSearchOutput("-Dcassandra-pidfile=/run/c.pid -Da=b \n", &path));
  EXPECT_EQ(path, "/run/c.pid");
  ASSERT_TRUE(
      ZbCassandra::PidFilePathFromSearchOutput("-Dcassandra-pidfile=/run/c.pid\t\n", &path));
  EXPECT_EQ(path, "/run/c.pid");
  ASSERT_TRUE(ZbCassandra::PidFilePathFromSearchOutput("-Dcassandra-pidfile=/run/c.pid", &path));
  EXPECT_EQ(path, "/run/c.pid");
}

TEST(PidFile, OnlyAPositiveDecimalPidIsAccepted) {
  std::string pid;
  ASSERT_TRUE(ZbCassandra::PidFromPidFileContent("  0042\n", &pid));
  EXPECT_EQ(pid, "42");
  ASSERT_TRUE(ZbCassandra::PidFromPidFileContent("2147483647", &pid));
  EXPECT_EQ(pid, "2147483647");
  for (const char* bad : {"", "\n", "0", "000", "2147483648", "-1", "4 2", "42;", "0x2a", "4e2"}) {
    EXPECT_FALSE(ZbCassandra::PidFromPidFileContent(bad, &pid)) << bad;
  }
}

}  // namespace
