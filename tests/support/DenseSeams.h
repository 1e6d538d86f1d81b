// The dense kernel set as the tests choose it. DenseSeams.cpp defines
// tarvel::detail::dense_kernels, which the test programs link in place of the library's
// (tarvel/core/DenseSurroundings.cpp): the processor's best set unless a test says otherwise.
#pragma once

#include <tarvel/core/detail/DenseKernels.h>

namespace tarvel_test
{

using tarvel::detail::DenseKernels;

// While an object lives, the dense operations run the given set.
class DenseKernelScope
{
public:
    explicit DenseKernelScope(const DenseKernels& set);
    ~DenseKernelScope();
    DenseKernelScope(const DenseKernelScope&) = delete;
    DenseKernelScope& operator=(const DenseKernelScope&) = delete;

private:
    const DenseKernels* m_pPrevious;
};

}  // namespace tarvel_test
