// Where the node's files are and what they say, read the way the controller
// reads them. The controller's discovery reads through these, and so does a
// host that must tell what a controller would find before one exists
// (making one already writes into the Priam configuration directory): both
// see the same values, quirks included.
#pragma once

#include <string>

namespace ZbCassandra {

// One value that a line of a node's file may set.
struct NodeFileValue {
  bool fileRead = false;  // the file opened: a regular file that reads
  bool set = false;       // a line of it sets the value, empty or not
  std::string value;      // as that line gives it; empty when none does
};

// The database process that a properties file names: the value of its last
// "priam.cass.process=NAME" line, matched exactly (nothing is trimmed, and a
// line with a further "=" does not count).
NodeFileValue CassandraProcessIn(const std::string& propertiesFile);

// The flavor that a process name stands for: "scylla" for exactly "scylla",
// "cassandra" for any other name and for none.
std::string FlavorOfProcess(const std::string& process);

// The YAML file of a node of `flavor` whose configuration is in
// `nodeConfDir`: the configuration store's sCassandraYamlFile (section
// [Cassandra]) when it names one, and `*fromStore` (when given) says so;
// otherwise scylla.yaml or cassandra.yaml there.
std::string NodeYamlFile(const std::string& nodeConfDir, const std::string& flavor,
                         bool* fromStore = nullptr);

// The YAML file that a controller for the node in `nodeConfDir` will read,
// told before it exists: its set-up replaces its properties file with a
// fresh copy of the template before the flavor is read from it.
std::string NodeYamlFileFromTemplate(const std::string& nodeConfDir);

// The node's environment script, where its JMX port is set.
std::string NodeEnvScript(const std::string& nodeConfDir);

// The CQL port that the YAML file gives: the first key line of
// native_transport_port decides, even when it gives no value.
NodeFileValue CqlPortInYaml(const std::string& yamlFile);

// The JMX port that the environment script gives: its first JMX_PORT
// assignment (see JmxPortAssignment()).
NodeFileValue JmxPortInEnvScript(const std::string& envScript);

}  // namespace ZbCassandra
