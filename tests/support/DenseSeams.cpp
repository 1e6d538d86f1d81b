#include "support/DenseSeams.h"

#include <utility>

using tarvel::detail::DenseKernels;

static const DenseKernels* g_set = nullptr;  // null: the best set

const DenseKernels& tarvel::detail::dense_kernels()
{
    return g_set ? *g_set : *dense_kernel_sets()[0];
}

const DenseKernels* tarvel_test::SetDenseKernels(const DenseKernels* set)
{
    return std::exchange(g_set, set);
}
