// A scripted processor clock for the tests of the timing reports and time arguments.
//
// FixedClock.cpp defines TarvelClock, which the test programs link in place of the library's
// (tarvel/platform/Clock.cpp); outside a FixedClock scope it reads the processor clock as the
// library's does.
#pragma once

namespace tarvel_test
{

// While an object lives, the n-th reading of TarvelClock (n = 0, 1, ...) returns n * step.
class FixedClock
{
public:
    explicit FixedClock(long step);
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

}  // namespace tarvel_test
