#include "support/DenseSeams.h"

#include <utility>

namespace
{

const tarvel::detail::DenseKernels* g_set = nullptr;  // null: the best set

}  // namespace

const tarvel::detail::DenseKernels& tarvel::detail::dense_kernels()
{
    return g_set ? *g_set : *dense_kernel_sets()[0];
}

const tarvel::detail::DenseKernels*
tarvel_test::SetDenseKernels(const tarvel::detail::DenseKernels* set)
{
    return std::exchange(g_set, set);
}
