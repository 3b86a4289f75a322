#include "discovery/NodeFiles.h"

#include <vector>

#include "CYrPath.h"
#include "FXString.h"
#include "ZBPlatformInfo.h"
#include "discovery/PortText.h"
#include "discovery/TextFileLines.h"
#include "discovery/YamlLines.h"
#include "priamconf/PropertiesTemplate.h"

namespace ZbCassandra {

namespace {

constexpr const char kProcessKey[] = "priam.cass.process";
constexpr const char kScylla[] = "scylla";
constexpr const char kCqlPortKey[] = "native_transport_port";
constexpr const char kEnvScriptName[] = "cassandra-env.sh";

// Empty both when the store does not name it and when it names it empty.
std::string StoreValue(const char* name) {
  std::string value;
  ZBPlatformInfo().getString("Cassandra", name, &value);
  return value;
}

std::string Join(const std::string& directory, const std::string& name) {
  std::string path = directory;
  FXPath::Append(path, name, 0);
  return path;
}

}  // namespace

NodeFileValue CassandraProcessIn(const std::string& propertiesFile) {
  NodeFileValue process;
  TextFileLines lines;
  process.fileRead = lines.Open(propertiesFile);
  std::string line;
  while (process.fileRead && lines.Next(line)) {
    std::vector<std::string> pieces;
    FXString::Split(line, "=", pieces, 0);
    if (pieces.size() != 2 || pieces[0] != kProcessKey) continue;
    process.set = true;
    process.value = pieces[1];
  }
  return process;
}

std::string FlavorOfProcess(const std::string& process) {
  return process == kScylla ? kScylla : "cassandra";
}

std::string NodeYamlFile(const std::string& nodeConfDir, const std::string& flavor,
                         bool* fromStore) {
  const std::string configured = StoreValue("sCassandraYamlFile");
  if (fromStore) *fromStore = !configured.empty();
  if (!configured.empty()) return configured;
  return Join(nodeConfDir, flavor == kScylla ? "scylla.yaml" : "cassandra.yaml");
}

std::string NodeYamlFileFromTemplate(const std::string& nodeConfDir) {
  const NodeFileValue process = CassandraProcessIn(PropertiesTemplatePath());
  return NodeYamlFile(nodeConfDir, FlavorOfProcess(process.value));
}

std::string NodeEnvScript(const std::string& nodeConfDir) {
  return Join(nodeConfDir, kEnvScriptName);
}

NodeFileValue CqlPortInYaml(const std::string& yamlFile) {
  NodeFileValue port;
  TextFileLines yaml;
  port.fileRead = yaml.Open(yamlFile);
  std::string keyLine;
  if (port.fileRead && FindYamlKeyLine(yaml, kCqlPortKey, &keyLine)) {
    port.set = true;
    port.value = CqlPortFromKeyLine(keyLine);
  }
  return port;
}

NodeFileValue JmxPortInEnvScript(const std::string& envScript) {
  NodeFileValue port;
  TextFileLines script;
  port.fileRead = script.Open(envScript);
  std::string line;
  while (port.fileRead && !port.set && script.Next(line)) {
    port.set = JmxPortAssignment(line, &port.value);
  }
  return port;
}

}  // namespace ZbCassandra
