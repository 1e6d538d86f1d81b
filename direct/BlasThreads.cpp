// What the numeric code takes from the system: the BLAS's own thread count, set and restored
// through openblas_set_num_threads and openblas_get_num_threads when the process has them
// (looked up at run time, so that any BLAS links and one without threads of its own is left
// alone); large arrays on huge pages.
#include "detail/Blas.h"
#include "detail/Numeric.h"

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/mman.h>

namespace tarvel::direct
{

namespace
{

using SetThreads = void (*)(int);
using GetThreads = int (*)();

struct Control
{
    SetThreads set = nullptr;
    GetThreads get = nullptr;
};

const Control& control()
{
    static const Control found = []
    {
        Control c;
        c.set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads"));
        c.get = reinterpret_cast<GetThreads>(dlsym(RTLD_DEFAULT, "openblas_get_num_threads"));
        if (!c.set || !c.get) c = Control{};
        return c;
    }();
    return found;
}

}  // namespace

BlasThreads::BlasThreads(int threads)
{
    if (!control().set) return;
    m_nPrevious = control().get();
    Set(threads);
}

BlasThreads::~BlasThreads()
{
    if (m_nPrevious > 0) control().set(m_nPrevious);
}

void BlasThreads::Set(int threads) const
{
    if (m_nPrevious > 0) control().set(threads);
}

bool LargeArray::Reserve(size_t count)
{
    if (count <= m_nCapacity && m_pData) return true;
    Release();
    constexpr size_t kPage = size_t(1) << 21;
    size_t bytes = std::max<size_t>(count, 1) * sizeof(double);
    void* p = nullptr;
    if (bytes < kPage)  // less than one huge page: the ordinary heap
        p = std::malloc(bytes);
    else
    {
        bytes = (bytes + kPage - 1) / kPage * kPage;
        if (posix_memalign(&p, kPage, bytes) != 0) p = nullptr;
#ifdef MADV_HUGEPAGE
        if (p)
            madvise(p, bytes, MADV_HUGEPAGE);  // advice only: without it the array works the same
#endif
    }
    if (!p) return false;
    m_pData.reset(static_cast<double*>(p));
    m_nCapacity = count;
    return true;
}

}  // namespace tarvel::direct
