// The files a user points priamctl at, checked before the controller is
// made: constructing it already replaces zbPriam.properties, and a bad input
// found by the controller would show as a failed operation (code 1) after
// that, not as the bad input it is (code 2, one line).
#pragma once

#include <string>

#include "NodeOptions.h"

namespace priamctl {

// The configuration store: a readable text file of "[Section]",
// "name=value", comment and blank lines. A binary file would otherwise be
// taken silently as a store without values.
bool CheckStoreFile(const std::string& path, std::string* error);

// What every controller reads at construction, which must be readable
// files: the properties template (where the store's sPriamTemplateDir says,
// /etc/Priam by default), the log4j file of the Priam configuration
// directory or, while there is none, its template in the Priam directory,
// the node's YAML file (the one the controller will read) and, when there
// is one, the node's cassandra-env.sh.
bool CheckNodeInputs(const NodeOptions& options, std::string* error);

// The sidecar run needs: priam.jar in the Priam directory.
bool CheckSidecarJar(const NodeOptions& options, std::string* error);

}  // namespace priamctl
