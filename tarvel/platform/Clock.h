/// \file
/// Processor clock in ticks of 1/1000 s; the library's timing reports assume 1000 ticks per
/// second. -1 when the system cannot tell the processor time.
#pragma once

#include <tarvel/platform/Export.h>
TARVEL_API long TarvelClock();
