// A scripted processor clock for the tests of the timing reports and time arguments.
//
// FixedClock.cpp defines TarvelClock itself. A test program that uses FixedClock links that
// definition, and the dynamic linker binds the library's calls of TarvelClock to the program's
// definition, which comes first in the search order; the library has no switch of its own.
// Outside a FixedClock scope the definition reads the processor clock as the library's does.
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

    long Readings() const;  // readings taken since construction
};

}  // namespace tarvel_test
