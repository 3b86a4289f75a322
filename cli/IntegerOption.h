// A check for options that take a whole number in a range, which says
// "abc is not a number" rather than CLI11's "Value abc not in range".
#pragma once

#include <CLI/CLI.hpp>

namespace priamctl {

CLI::Validator IntegerInRange(int min, int max);

}  // namespace priamctl
