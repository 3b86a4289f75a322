// Where the template of the sidecar's properties file is: what a
// controller's set-up copies, and where the node's flavor is first read.
#pragma once

#include <string>

namespace ZbCassandra {

// zbPriam.properties in the configuration store's sPriamTemplateDir
// (section [Cassandra]), /etc/Priam when the store names none. The store is
// read at each call, so that a changed value counts from the next
// controller on.
std::string PropertiesTemplatePath();

}  // namespace ZbCassandra
