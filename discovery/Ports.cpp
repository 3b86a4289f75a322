// The node's CQL port, the address it listens on for CQL, and its JMX port.
#include <string>

#include "CYrPath.h"
#include "FXString.h"
#include "PriamUtil.h"
#include "ZbProcess.h"
#include "common/Boundary.h"
#include "discovery/NodeFiles.h"
#include "discovery/NodeValueJudgement.h"
#include "discovery/PortText.h"

namespace ZbCassandra {

CYrError PriamUtil::initializePorts() try {
  const NodeFileValue cql = CqlPortInYaml(m_cassandraYamlFile);
  if (!cql.fileRead) {
    ZB_LOG(0, "Failed to open Cassandra YAML file - %s. Using default CQL port - 9042",
           m_cassandraYamlFile.c_str());
  } else if (cql.set) {
    m_cqlPort = cql.value;
    ZB_LOG(0, "CQL port: %s", m_cqlPort.c_str());
  }
  // The field, not what was read: a file that sets no port leaves the one
  // an earlier run found.
  if (TakesDefaultCqlPort(m_cqlPort)) {
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

  const std::string envPath = NodeEnvScript(m_cassandraConfDir);
  const NodeFileValue jmx = JmxPortInEnvScript(envPath);
  if (TakesDefaultJmxPort(jmx)) {
    ZB_LOG(0, "Failed to open Cassandra ENV file - %s. Using default JMX port - 7199",
           envPath.c_str());
    m_jmxPort = kDefaultJmxPort;
  } else if (jmx.set) {
    m_jmxPort = jmx.value;
    ZB_LOG(0, "JMX port: %s", m_jmxPort.c_str());
  }
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
