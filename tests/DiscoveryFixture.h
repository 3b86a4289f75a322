// Shared set-up for the node discovery suites: fake node tools first on PATH,
// an empty configuration store, and temporary Priam and node configuration
// directories.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CapturingLogWriter.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"
#include "ScopedEnvironment.h"
#include "TempDir.h"

namespace discoverytest {

// The parts of a node's cassandra.yaml that the controller reads, laid out
// as the shipped file lays them out.
constexpr const char* kCassandraYaml = R"(# Cassandra storage config YAML

# NOTE:
#   See https://cassandra.apache.org/doc/latest/configuration/ for
#   full explanations of configuration directives
# /NOTE

# The name of the cluster. This is mainly used to prevent machines in
# one logical cluster from joining another.
cluster_name: 'Test Cluster'

num_tokens: 16

# Directories where Cassandra should store data on disk. If multiple
# directories are specified, Cassandra will spread data evenly across
# them by partitioning the token ranges.
# If not set, the default directory is $CASSANDRA_HOME/data/data.
data_file_directories:
    - /var/lib/cassandra/data
#     - /mnt/disk2/cassandra/data
    - "/mnt/disk3/cassandra/data"

    # a disk added later
    -   /mnt/disk4/cassandra/data

# Directory were Cassandra should store the data of the local system keyspaces.
# local_system_data_file_directory:

# commit log.  when running on magnetic HDD, this should be a
# separate spindle than the data directories.
commitlog_directory: /var/lib/cassandra/commitlog

# any class that implements the SeedProvider interface and has a
# constructor that takes a Map<String, String> of parameters will do.
seed_provider:
  # Addresses of hosts that are deemed contact points.
  # Cassandra nodes use this list of hosts to find each other and learn
  # the topology of the ring.  You must change this if you are running
  # multiple nodes!
  - class_name: org.apache.cassandra.locator.SimpleSeedProvider
    parameters:
      # seeds is actually a comma-delimited list of addresses.
      # Ex: "<ip1>,<ip2>,<ip3>"
      - seeds: "10.0.0.1, 10.0.0.2,10.0.0.3"

listen_address: localhost

# port for the CQL native transport to listen for clients on
# For security reasons, you should not expose this port to the internet.  Firewall it if needed.
native_transport_port: 9142

# Enabling native transport encryption in client_encryption_options allows you to either use
# encryption for the standard port or to use a dedicated, additional port along side the standard
# native_transport_port.
# native_transport_port_ssl: 9142
)";

class DiscoveryTest : public ::testing::Test {
 protected:
  DiscoveryTest() {
    // Nothing reaches the machine's own tools unless a test says so.
    tools.AddPrinting("ps", "", 1);
    tools.AddPrinting("netstat", "");
    // The Priam configuration set-up runs first at construction; give it
    // its templates, so that the discovery steps after it run too.
    store.Set("Cassandra", "sPriamTemplateDir", templates.path());
    templates.write("zbPriam.properties", "priam.cass.process=cassandra\n");
    priamDir.write("zblog4j.properties", "log4j.rootLogger=INFO, R\n");
  }

  // A controller that needs no Java search: its initialization runs the
  // path set-up and the port step on the two temporary directories.
  std::unique_ptr<ZbCassandra::PriamUtil> MakeController(
      const std::string& javaPath = "/usr/bin/java") {
    return std::unique_ptr<ZbCassandra::PriamUtil>(new ZbCassandra::PriamUtil(
        0, CYrString(javaPath), priamDir.path(), priamConf.path(), cassandraConf.path(), false));
  }

  // A fake tool that appends its arguments to a record, then runs `body`.
  void AddRecordingTool(const std::string& name, const std::string& body) {
    tools.Add(name, "echo \"" + name + " $*\" >> '" + callsFile() + "'\n" + body);
  }
  std::string callsFile() const { return work.file("calls"); }
  std::string Calls() const {
    return testsupport::PathExists(callsFile()) ? testsupport::ReadFile(callsFile()) : "";
  }

  testsupport::FakeTools tools;
  testsupport::ScopedConfigStore store;
  testsupport::TempDir work;
  testsupport::TempDir templates;
  testsupport::TempDir priamDir;
  testsupport::TempDir priamConf;
  testsupport::TempDir cassandraConf;
};

}  // namespace discoverytest
