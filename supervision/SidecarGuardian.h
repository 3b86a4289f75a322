// The guardian program that a launch starts beside each sidecar (see
// guardian/Guardian.h): it is installed with the library, in "priamutil/"
// beside the library's own file, so that an extracted or relocated tree
// finds its own.
#pragma once

#include <string>

namespace ZbCassandra {

constexpr const char kGuardianProgramName[] = "zbpriam-guardian";

// The guardian beside the library (or beside the program that links the
// library statically); empty, with the reason in `*why`, when there is none
// that can be run.
std::string GuardianProgram(std::string* why);

}  // namespace ZbCassandra
