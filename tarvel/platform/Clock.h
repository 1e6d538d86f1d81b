/// \file
/// Processor clock in ticks of 1/1000 s; the library's timing reports assume 1000 ticks per
/// second. -1 when the system cannot tell the processor time.
#pragma once

#include <tarvel/platform/Export.h>
/// The processor time of the process, in ticks (see above).
TARVEL_API long TarvelClock();
