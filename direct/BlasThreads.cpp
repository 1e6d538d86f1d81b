// The BLAS's own thread count, set and restored through openblas_set_num_threads and
// openblas_get_num_threads when the process has them (looked up at run time, so that any BLAS
// links and one without threads of its own is left alone).
#include "detail/Blas.h"

#include <dlfcn.h>

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

}  // namespace tarvel::direct
