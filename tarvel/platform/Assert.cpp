// The failure path of TARVEL_ASSERT.
#include <tarvel/platform/Assert.h>

#include <cstdio>
#include <cstdlib>

void TarvelAssertFailed(const char* file, int line, const char* condition,
                        const char* message) noexcept
{
    std::fprintf(stderr, "%s:%d: Tarvel assertion failed: %s (%s)\n", file, line, message,
                 condition);
    std::fflush(stderr);
    std::abort();
}
