#include "CLogWriterInterface.h"

boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;
