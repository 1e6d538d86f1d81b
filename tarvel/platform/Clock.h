// Processor clock in ticks of 1/1000 s; the library's timing reports assume 1000 ticks per
// second.
#pragma once

long TarvelClock();
