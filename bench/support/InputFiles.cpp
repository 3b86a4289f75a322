#include "InputFiles.h"

#include <cstdio>

namespace bench {

namespace {

constexpr const char* kPropertiesHead =
    "priam.cass.process=cassandra\n"
    "priam.backup.retention=7\n"
    "priam.backup.threads=2\n";

constexpr const char* kYamlTail =
    "# Directories where Cassandra should store data on disk.\n"
    "data_file_directories:\n"
    "    - /var/lib/cassandra/data\n"
    "#     - /mnt/disk1/cassandra/data\n"
    "    - \"/mnt/disk2/cassandra/data\"\n"
    "\n"
    "commitlog_directory: /var/lib/cassandra/commitlog\n"
    "seed_provider:\n"
    "  - class_name: org.apache.cassandra.locator.SimpleSeedProvider\n"
    "    parameters:\n"
    "      - seeds: \"10.0.0.1, 10.0.0.2,10.0.0.3\"\n"
    "listen_address: localhost\n"
    "# port for the CQL native transport to listen for clients on\n"
    "native_transport_port: 9042\n";

size_t CountLines(const std::string& text) {
  size_t count = 0;
  for (const char c : text) count += c == '\n';
  return count;
}

// Line `i` of the YAML filler: a commented paragraph with an option under
// it, as the shipped file reads.
std::string YamlFillerLine(size_t i) {
  char line[96];
  switch (i % 4) {
    case 0:
      snprintf(line, sizeof line, "# Option %zu tunes one part of the node; see the docs.\n", i);
      break;
    case 1:
      snprintf(line, sizeof line, "option_%zu_in_kb: %zu\n", i, i * 16);
      break;
    case 2:
      snprintf(line, sizeof line, "option_%zu_enabled: false\n", i);
      break;
    default:
      return "\n";
  }
  return line;
}

}  // namespace

const std::map<std::string, std::string>& ConnectionProperties() {
  static const std::map<std::string, std::string> properties = {
      {"priam.cqlhost", "127.0.0.1"},
      {"priam.cqlport", "9042"},
      {"priam.cqlusername", "cassandra"},
      {"priam.cqluserpassword", "cql-S3cret"},
      {"priam.jmx.port", "7199"},
      {"priam.jmx.user", "jmx"},
      {"priam.jmx.token", "jmx-T0ken"},
      {"priam.keystore.password", "ks-Pa55"},
      {"priam.truststore.password", "ts-Pa55"}};
  return properties;
}

const std::vector<std::string>& YamlDataDirs() {
  static const std::vector<std::string> directories = {"/var/lib/cassandra/data",
                                                       "/mnt/disk2/cassandra/data"};
  return directories;
}

const std::vector<std::string>& YamlSeeds() {
  static const std::vector<std::string> seeds = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
  return seeds;
}

std::string PropertiesText(size_t lines) {
  std::string text = kPropertiesHead;
  for (const auto& entry : ConnectionProperties()) {
    text.append(entry.first).append(1, '=').append(entry.second).append(1, '\n');
  }
  char line[80];
  for (size_t i = CountLines(text); i < lines; ++i) {
    snprintf(line, sizeof line, "priam.bench.option%07zu=value-%zu\n", i, i);
    text += line;
  }
  return text;
}

std::string YamlText(size_t lines) {
  const size_t tail = CountLines(kYamlTail);
  std::string text = "# Cassandra storage config YAML\ncluster_name: 'Bench Cluster'\n";
  for (size_t i = CountLines(text); i + tail < lines; ++i) text += YamlFillerLine(i);
  return text + kYamlTail;
}

}  // namespace bench
