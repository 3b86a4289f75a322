// Where the demo finds the stand-in sidecar, the sample files and Java: the
// priamctl of the build tree in the build and source trees, any other copy in
// the share/priamutil/ installed beside its bin/ directory.
#pragma once

#include <string>

namespace priamctl {

struct DemoAssets {
  std::string jar;       // the stand-in priam.jar
  std::string examples;  // holds node/, priam/ and templates/
  std::string java;      // empty: let the controller discover it
};

// False, with the places looked at in `*error`, when a piece is missing.
bool FindDemoAssets(DemoAssets* assets, std::string* error);

}  // namespace priamctl
