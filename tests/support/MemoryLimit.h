// An address-space limit for tests of exhausted storage: the process's size now plus a margin,
// set in a child process (a death test) so that the test program itself is not limited.
// Sanitizer builds reserve terabytes of shadow memory up front, so no such limit can hold
// there: kAddressLimitWorks is false and the tests skip.
#pragma once

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace tarvel_test
{

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressLimitWorks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressLimitWorks = false;
#else
constexpr bool kAddressLimitWorks = true;
#endif
#else
constexpr bool kAddressLimitWorks = true;
#endif

// Limits the address space to its size now (from /proc/self/statm) plus margin bytes; false
// when the size is unknown or the limit could not be set.
inline bool limit_address_space(unsigned long long margin)
{
    unsigned long long pages = 0;
    std::ifstream statm("/proc/self/statm");
    if (!(statm >> pages) || pages == 0) return false;
    const rlim_t limit = static_cast<rlim_t>(
        pages * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE)) + margin);
    const rlimit r = {limit, limit};
    return ::setrlimit(RLIMIT_AS, &r) == 0;
}

// Expects body, run in a child process, to return 0; body makes what it needs, then limits the
// address space. The child is a fresh run of the test program, not a fork: a forked child
// inherits the heaps the earlier tests' threads reserved, and the allocator grows into their
// reserved, already counted address space past the limit.
template <class Body> void ExpectZeroUnderLimit(Body body)
{
    if (!kAddressLimitWorks) GTEST_SKIP() << "no address-space limit under the sanitizers";
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(body()), ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace tarvel_test
