// A launch for the benchmarks: the launch's 30-second wait lasts only until
// the sidecar listens, so that a benchmark measures what follows it.
#pragma once

#include "PriamUtil.h"

namespace bench {

// startPriam() with the wait cut short; the platform's own sleep is back
// when it returns.
CYrError ShortLaunch(ZbCassandra::PriamUtil& controller);

}  // namespace bench
