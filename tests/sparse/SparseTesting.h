// What several sparse test files share: the fixtures (the global state saved and restored), the
// driver wrappers and the symbolic counts read two ways. Helpers of one file stay in that file.
#pragma once

#include "support/GlobalState.h"
#include "support/MemoryLimit.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/CellPool.h>
#include <tarvel/sparse/detail/SparseKernels.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace tarvel_test;
using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;
using SparseMatrix = GlobalStateTest;
using tarvel::detail::cell_blocks_mapped;
using SystSpMat = GlobalStateTest;

namespace sparse_testing
{

inline int Lu(CSparseMatrix& A) { return A.LU(); }
inline int Cholesky(CSparseMatrix& A) { return A.Cholesky(); }

// The factor's size, its elimination tree and every row's count.
using Symbolic = std::tuple<LONGLONG, std::vector<int>, std::vector<int>>;

inline Symbolic counted(const CSparseMatrix& A)
{
    std::vector<int> parent(A.GetRows(), -7), counts(A.GetRows(), -7);
    const LONGLONG total = CholeskyFactorSize(A, parent.data(), counts.data());
    return {total, parent, counts};
}

// The same three read off a factor that Cholesky has made.
inline Symbolic made(const CSparseMatrix& U)
{
    Symbolic s;
    auto& [total, parent, counts] = s;
    for (const CSparseMatrix::row* r = U.GetFirstRow(); r; r = r->m_pNextRow)
    {
        const CSparseMatrix::cell* first = r->m_pFirstCell;
        parent.push_back(first && first->m_pNext ? first->m_pNext->m_nCol : -1);
        counts.push_back(0);
        for (const CSparseMatrix::cell* c = first; c; c = c->m_pNext) ++counts.back(), ++total;
    }
    return s;
}

}  // namespace sparse_testing

using namespace sparse_testing;
