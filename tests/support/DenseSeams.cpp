#include "support/DenseSeams.h"

#include <utility>

namespace
{

const tarvel::detail::DenseKernels* g_set = nullptr;  // null: the best set

}  // namespace

namespace tarvel::detail
{

const DenseKernels& dense_kernels() { return g_set ? *g_set : *dense_kernel_sets()[0]; }

}  // namespace tarvel::detail

namespace tarvel_test
{

DenseKernelScope::DenseKernelScope(const DenseKernels& set)
    : m_pPrevious(std::exchange(g_set, &set))
{
}

DenseKernelScope::~DenseKernelScope() { g_set = m_pPrevious; }

}  // namespace tarvel_test
