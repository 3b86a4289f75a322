// Code locations and logging for the controller's own code.
#pragma once

#include "FXErrorUtil.h"
#include "LogMacros.h"

// Every error the controller builds or passes on names it as "PriamUtil".
#define PRIAM_LOCATION ZB_CODE_LOCATION("PriamUtil")
