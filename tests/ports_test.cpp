#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "DiscoveryFixture.h"

namespace {

using testsupport::PathExists;
using testsupport::ScopedLogCapture;
using ZbCassandra::PriamUtil;
using ZbCassandra::PriamUtilTestAccess;
using Strings = std::vector<std::string>;

// What "netstat -ln" prints on a node whose CQL port listens on one address.
constexpr const char* kNetstat =
    "Active Internet connections (only servers)\n"
    "Proto Recv-Q Send-Q Local Address           Foreign Address         State\n"
    "tcp        0      0 10.1.2.3:9142           0.0.0.0:*               LISTEN\n"
    "tcp        0      0 127.0.0.1:7199          0.0.0.0:*               LISTEN\n"
    "tcp        0      0 0.0.0.0:22              0.0.0.0:*               LISTEN\n"
    "Active UNIX domain sockets (only servers)\n"
    "Proto RefCnt Flags       Type       State         I-Node   Path\n"
    "unix  2      [ ACC ]     STREAM     LISTENING     19042    /run/systemd/private\n";

// The JMX part of a node's cassandra-env.sh.
constexpr const char* kEnvScript =
    "# Specifies the default port over which Cassandra will be available for\n"
    "# JMX connections.\n"
    "# For security reasons, you should not expose this port to the internet.\n"
    "#JMX_PORT=\"1111\"\n"
    "  JMX_PORT=\"2222\"\n"
    "export JMX_PORT=\"3333\"\n"
    "JMX_PORT =\"4444\"\n"
    "if [ \"x$LOCAL_JMX\" = \"x\" ]; then LOCAL_JMX=yes; fi # JMX_PORT\n"
    "JMX_PORT=\"7299\"\n"
    "JMX_PORT=\"5555\"\n"
    "JVM_OPTS=\"$JVM_OPTS -Dcassandra.jmx.local.port=$JMX_PORT\"\n";

class Ports : public discoverytest::DiscoveryTest {
 protected:
  Ports() {
    AddRecordingTool("netstat", "cat '" + work.write("netstat.out", kNetstat) + "'");
    controller = MakeController();
  }

  // Run the step again on fresh fields, over the given files (none when null).
  void Run(const char* yaml, const char* env) {
    if (yaml) cassandraConf.write("cassandra.yaml", yaml);
    if (env) cassandraConf.write("cassandra-env.sh", env);
    PriamUtilTestAccess::cqlPort(*controller).clear();
    PriamUtilTestAccess::cqlHost(*controller).clear();
    PriamUtilTestAccess::jmxPort(*controller).clear();
    testsupport::WriteFile(callsFile(), "");
    log->Clear();
    EXPECT_FALSE(controller->initializePorts().IsError());
  }

  ScopedLogCapture log;
  std::unique_ptr<PriamUtil> controller;
};

TEST_F(Ports, ANodesFilesGiveItsPortsAndCqlHost) {
  cassandraConf.write("cassandra.yaml", discoverytest::kCassandraYaml);
  cassandraConf.write("cassandra-env.sh", kEnvScript);
  controller = MakeController();
  EXPECT_FALSE(controller->initFailed());
  EXPECT_EQ(controller->cqlPort(), "9142");
  EXPECT_EQ(controller->cqlHost(), "10.1.2.3");
  EXPECT_EQ(controller->jmxPort(), "7299");
  Run(nullptr, nullptr);
  EXPECT_EQ(log->Texts(), (Strings{"CQL port: 9142", "CQL host: 10.1.2.3", "JMX port: 7299"}));
  for (const testsupport::LogEntry& entry : log->Entries()) EXPECT_EQ(entry.level, 0);
  EXPECT_EQ(Calls(), "netstat -ln\n");
}

TEST_F(Ports, CqlPortValuesAreTrimmed) {
  for (const char* yaml : {"native_transport_port: \"9142\"\n", "native_transport_port:\t9142 \n",
                           "# native_transport_port: 1\nnative_transport_port: 9142\n"
                           "native_transport_port: 2\n"}) {
    Run(yaml, kEnvScript);
    EXPECT_EQ(controller->cqlPort(), "9142") << yaml;
    EXPECT_EQ(controller->cqlHost(), "10.1.2.3") << yaml;
  }
}

TEST_F(Ports, NoCqlPortInTheYamlFileGivesTheDefault) {
  const std::string fallback =
      "Could not fetch CQL port from Cassandra YAML file. Using default CQL port 9042";
  struct Case {
    std::string yaml;
    Strings messages;
  };
  const std::vector<Case> cases = {
      {"# native_transport_port: 9142\n", {fallback}},
      {"native_transport_port: \"\"\n", {"CQL port: ", fallback}},
      {"native_transport_port\n", {"CQL port: ", fallback}},
      {"", {fallback}},
      {std::string("\0\xff\n:\n", 5), {fallback}},
  };
  for (const Case& c : cases) {
    cassandraConf.write("cassandra.yaml", c.yaml);
    Run(nullptr, kEnvScript);
    EXPECT_EQ(controller->cqlPort(), "9042") << c.yaml;
    Strings expected = c.messages;
    expected.push_back("JMX port: 7299");
    EXPECT_EQ(log->Texts(), expected) << c.yaml;
    EXPECT_EQ(Calls(), "netstat -ln\n");
  }
}

TEST_F(Ports, AYamlFileThatCannotBeOpenedGivesTheDefault) {
  const std::string file = cassandraConf.write("file", "");
  for (const std::string& path :
       {cassandraConf.file("missing.yaml"), cassandraConf.path(), file + "/cassandra.yaml"}) {
    PriamUtilTestAccess::cassandraYamlFile(*controller) = path;
    Run(nullptr, kEnvScript);
    EXPECT_EQ(controller->cqlPort(), "9042");
    const Strings texts = log->Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0],
              "Failed to open Cassandra YAML file - " + path + ". Using default CQL port - 9042");
    EXPECT_EQ(texts[1],
              "Could not fetch CQL port from Cassandra YAML file. Using default CQL "
              "port 9042");
  }
}

TEST_F(Ports, APortThatIsNotANumberRunsNoCommand) {
  const std::string marker = work.file("marker");
  for (const std::string& port : Strings{"9142; touch " + marker, "9142 # the CQL port",
                                         "$(touch " + marker + ")", "9142\r"}) {
    Run(("native_transport_port: " + port + "\n").c_str(), kEnvScript);
    EXPECT_EQ(controller->cqlPort(), port);
    EXPECT_EQ(controller->cqlHost(), "");
    EXPECT_EQ(log->Count("Failed to retrieve Cassandra CQL host on this node: the CQL port '" +
                         port + "' is not a number"),
              1);
    EXPECT_EQ(Calls(), "");
  }
  EXPECT_FALSE(PathExists(marker));
}

TEST_F(Ports, OnlyOneAddressAndPortGiveTheCqlHost) {
  cassandraConf.write("cassandra.yaml", "native_transport_port: 9142\n");
  cassandraConf.write("cassandra-env.sh", kEnvScript);
  for (const char* netstat :
       {"", "tcp6       0      0 :::9142                 :::*        LISTEN\n",
        "tcp 0 0 10.1.2.3:9142 0.0.0.0:* LISTEN\n"
        "tcp 0 0 10.1.2.4:9142 0.0.0.0:* LISTEN\n"}) {
    tools.AddPrinting("netstat", netstat);
    PriamUtilTestAccess::cqlPort(*controller).clear();
    PriamUtilTestAccess::cqlHost(*controller) = "earlier";
    log->Clear();
    EXPECT_FALSE(controller->initializePorts().IsError());
    EXPECT_EQ(controller->cqlHost(), "earlier") << netstat;
    EXPECT_EQ(log->Texts(), (Strings{"CQL port: 9142", "JMX port: 7299"})) << netstat;
  }
}

TEST_F(Ports, AFailingSocketTableCommandLeavesTheHost) {
  cassandraConf.write("cassandra.yaml", "native_transport_port: 9142\n");
  // The pipeline's status is that of its last command.
  tools.Add("awk", "cat > /dev/null\necho 'awk: cannot run' >&2\nexit 2");
  Run(nullptr, kEnvScript);
  EXPECT_EQ(controller->cqlHost(), "");
  EXPECT_EQ(log->Texts(), (Strings{"CQL port: 9142",
                                   "Failed to retrieve Cassandra CQL host on this node: awk: "
                                   "cannot run\n",
                                   "JMX port: 7299"}));
}

TEST_F(Ports, JmxPortAssignments) {
  struct Case {
    std::string env;
    std::string port;
  };
  const std::vector<Case> cases = {
      {"JMX_PORT=\"7199\"\n", "7199"},
      {"JMX_PORT=7399 \n", "7399"},
      {"JMX_PORT=\"7199\" # default\n", "7199\" # default"},
      {"JMX_PORT=\"\"\n", ""},
      {"JMX_PORT=\"7199\"\r\n", "7199\"\r"},
      {"JMX_PORT=\"7\"\"1\"\n", "7\"\"1"},
      {"JMX_PORT=\"7199\"=x\n", "7199"},
  };
  for (const Case& c : cases) {
    Run(discoverytest::kCassandraYaml, c.env.c_str());
    EXPECT_EQ(controller->jmxPort(), c.port) << c.env;
    EXPECT_EQ(log->Texts().back(), "JMX port: " + c.port);
  }
}

TEST_F(Ports, AnEnvScriptWithoutAnAssignmentLeavesTheJmxPort) {
  for (const char* env :
       {"", "#JMX_PORT=\"7199\"\nexport JMX_PORT=\"7199\"\nJMX_PORT\n", "\0\0\n"}) {
    Run(discoverytest::kCassandraYaml, env);
    EXPECT_EQ(controller->jmxPort(), "") << env;
    EXPECT_EQ(log->Texts(), (Strings{"CQL port: 9142", "CQL host: 10.1.2.3"})) << env;
  }
}

TEST_F(Ports, AnEnvScriptThatCannotBeOpenedGivesTheDefault) {
  Run(discoverytest::kCassandraYaml, nullptr);
  EXPECT_EQ(controller->jmxPort(), "7199");
  EXPECT_EQ(log->Texts().back(), "Failed to open Cassandra ENV file - " +
                                     cassandraConf.file("cassandra-env.sh") +
                                     ". Using default JMX port - 7199");
  ASSERT_EQ(mkdir(cassandraConf.file("cassandra-env.sh").c_str(), 0700), 0);
  Run(nullptr, nullptr);
  EXPECT_EQ(controller->jmxPort(), "7199");
}

}  // namespace
