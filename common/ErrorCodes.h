// The error codes the controller reports. They are part of its public
// interface, so they live in the installed header; controller code
// includes them through this name.
#pragma once

#include "PriamUtilErrors.h"
