// The node's files found and read the way the controller finds and reads
// them, so that priamctl can judge what a controller would see before one
// exists (constructing it already writes into the Priam configuration
// directory). Only readable regular files are read; any other gives what a
// missing file gives.
#pragma once

#include <string>

namespace priamctl {

// The properties template: zbPriam.properties in the store's
// sPriamTemplateDir, /etc/Priam by default.
std::string PropertiesTemplatePath();

// The YAML file a controller for the node in `nodeDir` reads: the store's
// sCassandraYamlFile, or scylla.yaml when the template's last
// "priam.cass.process=" line says "scylla", else cassandra.yaml.
std::string NodeYamlFile(const std::string& nodeDir);

// The node's environment script, where the JMX port is read.
std::string NodeEnvScript(const std::string& nodeDir);

// The CQL port as the controller reads it: the value after the ":" of the
// first line that names native_transport_port before any "#", up to a
// further ":", trimmed of blanks, tabs and quotes. Empty when the file
// gives none (the controller then takes 9042).
std::string CqlPortInYaml(const std::string& yamlFile);

// The JMX port as the controller reads it: the value of the first line
// that begins with "JMX_PORT=", up to a further "=", trimmed like a YAML
// value. Empty when the script gives none.
std::string JmxPortInEnvScript(const std::string& envScript);

}  // namespace priamctl
