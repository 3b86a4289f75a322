// The node's CQL port, the address it listens on for CQL, and its JMX port.
#include <string>

#include "CYrPath.h"
#include "FXString.h"
#include "PriamUtil.h"
#include "ZbProcess.h"
#include "common/Boundary.h"
#include "discovery/PortText.h"
#include "discovery/YamlLines.h"

namespace ZbCassandra {

namespace {

constexpr const char* kDefaultCqlPort = "9042";
constexpr const char* kDefaultJmxPort = "7199";

}  // namespace

CYrError PriamUtil::initializePorts() try {
  // The CQL port from the YAML file; its first key line decides.
  TextFileLines yaml;
  if (yaml.Open(m_cassandraYamlFile)) {
    std::string keyLine;
    if (FindYamlKeyLine(yaml, "native_transport_port", &keyLine)) {
      m_cqlPort = CqlPortFromKeyLine(keyLine);
      ZB_LOG(0, "CQL port: %s", m_cqlPort.c_str());
    }
  } else {
    ZB_LOG(0, "Failed to open Cassandra YAML file - %s. Using default CQL port - 9042",
           m_cassandraYamlFile.c_str());
  }
  if (m_cqlPort.empty()) {
    ZB_LOG(0, "Could not fetch CQL port from Cassandra YAML file. Using default CQL port 9042");
    m_cqlPort = kDefaultCqlPort;
  }

  // The CQL host: the local address of the listening socket on that port.
  if (!IsDecimalNumber(m_cqlPort)) {
    ZB_LOG(0, "Failed to retrieve Cassandra CQL host on this node: %s",
           FXString::Format("the CQL port '%s' is not a number", m_cqlPort.c_str()).c_str());
  } else {
    const std::string command = "netstat -ln | grep -w " + m_cqlPort + " | awk '{print $4}'";
    std::string output;
    std::string error;
    if (ZbProcess::system(command, &output, &error, 0, true) != 0) {
      ZB_LOG(0, "Failed to retrieve Cassandra CQL host on this node: %s", error.c_str());
    } else {
      // Exactly one "address:port": an IPv6 address or several listeners
      // give no host.
      if (CqlHostFromNetstatOutput(output, &m_cqlHost)) {
        ZB_LOG(0, "CQL host: %s", m_cqlHost.c_str());
      }
    }
  }

  // The JMX port from the node's environment script.
  std::string envPath = m_cassandraConfDir;
  FXPath::Append(envPath, "cassandra-env.sh", 0);
  TextFileLines env;
  if (!env.Open(envPath)) {
    ZB_LOG(0, "Failed to open Cassandra ENV file - %s. Using default JMX port - 7199",
           envPath.c_str());
    m_jmxPort = kDefaultJmxPort;
    return CYrError::Success();
  }
  std::string line;
  std::string port;
  while (env.Next(line)) {
    if (!JmxPortAssignment(line, &port)) continue;
    m_jmxPort = port;
    ZB_LOG(0, "JMX port: %s", m_jmxPort.c_str());
    break;
  }
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
