// AnalyzePattern: every ordering's supernodal structure against a dense boolean elimination of
// the same permuted pattern, the invariants Y1-Y7 of the analysis record, exact factor sizes of
// grids in their natural order and the fill of the reducing orderings, labellings good and bad.
#include "detail/Symbolic.h"
#include "fem/Problems.h"
#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/MemoryLimit.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <random>

using namespace tarvel_test;
using tarvel::direct::AnalyzePattern;
using tarvel::direct::OrderingChoice;
using tarvel::direct::Symbolic;
using Analysis = GlobalStateTest;

namespace
{

const OrderingChoice kAllOrderings[] = {OrderingChoice::natural, OrderingChoice::amd,
                                        OrderingChoice::metis, OrderingChoice::automatic,
                                        OrderingChoice::labels};

Symbolic analysed(const CSparseMatrix& A, OrderingChoice ordering,
                  const std::vector<int>* labels = nullptr)
{
    Symbolic s;
    CString failure;
    EXPECT_TRUE(AnalyzePattern(A, ordering, labels, s, failure)) << failure.str();
    return s;
}

// The matrix of the unknowns' couplings: every pair of an element's non-negative DOFs, both
// triangles stored (the analysis must read the upper one only).
CSparseMatrix coupled(const ElementList& elements)
{
    CSparseMatrix A;
    for (const auto& e : elements)
        for (long a : e)
            for (long b : e)
                if (a >= 0 && b >= 0) A.Add(static_cast<int>(a), static_cast<int>(b), 1.0);
    return A;
}

// A random upper pattern of n unknowns: about perRow couplings per row anywhere to the right,
// a diagonal in most rows (a missing one must still get its place in the factor), a few cells
// below the diagonal, and some rows not stored at all.
CSparseMatrix random_pattern(std::mt19937& gen, int n, int perRow)
{
    CSparseMatrix A;
    std::uniform_int_distribution<int> column(0, n - 1), percent(0, 99);
    for (int i = 0; i < n; ++i)
    {
        if (percent(gen) < 10) continue;
        if (percent(gen) < 85) A.Add(i, i, 1.0);
        for (int d = 0; d < perRow; ++d)
        {
            const int j = column(gen);
            if (j > i || percent(gen) < 10) A.Add(i, j, 1.0);
        }
    }
    return A;
}

// The columns of L for the pivots s.perm, by dense boolean elimination: l[j] lists the rows
// i >= j of column j.
std::vector<std::vector<int>> brute_force_columns(const CSparseMatrix& A, const Symbolic& s)
{
    const int n = s.n;
    std::vector<std::vector<char>> L(n, std::vector<char>(n, 0));
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            if (c->m_nCol >= r->m_nRow)
            {
                const int a = s.iperm[r->m_nRow], b = s.iperm[c->m_nCol];
                L[std::max(a, b)][std::min(a, b)] = 1;
            }
    for (int k = 0; k < n; ++k)
        for (int i = k + 1; i < n; ++i)
            if (L[i][k])
                for (int j = k + 1; j <= i; ++j)
                    if (L[j][k]) L[i][j] = 1;
    std::vector<std::vector<int>> columns(n);
    for (int j = 0; j < n; ++j)
    {
        columns[j].push_back(j);
        for (int i = j + 1; i < n; ++i)
            if (L[i][j]) columns[j].push_back(i);
    }
    return columns;
}

// Y1-Y7, and the supernodes' rows against the brute-force columns: each column's rows are
// those of its supernode from the column down (the stored zeros of amalgamation aside), every
// row below a supernode's pivots belongs to at least one of its columns, and the counts agree.
void expect_consistent(const CSparseMatrix& A, const Symbolic& s)
{
    const int n = s.n;
    ASSERT_EQ(s.perm.size(), static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) ASSERT_EQ(s.iperm.at(s.perm[k]), k);  // Y1
    ASSERT_EQ(s.superStart.front(), 0);                               // Y2
    ASSERT_EQ(s.superStart.back(), n);
    const auto columns = brute_force_columns(A, s);
    long long entries = 0, stored = 0;
    double flops = 0.0;
    for (const auto& column : columns)
    {
        const double c = static_cast<double>(column.size());
        entries += static_cast<long long>(column.size());
        flops += (c - 1.0) * (c + 2.0) / 2.0;
    }
    for (int sn = 0; sn < s.nsuper; ++sn)
    {
        const int first = s.superStart[sn], cols = s.ncols(sn);
        ASSERT_GT(cols, 0);
        ASSERT_TRUE(s.superParent[sn] == -1 || s.superParent[sn] > sn);  // Y3
        const std::vector<int> rows(s.rowInd.begin() + s.rowPtr[sn],
                                    s.rowInd.begin() + s.rowPtr[sn + 1]);
        ASSERT_GE(rows.size(), static_cast<std::size_t>(cols));
        for (int j = 0; j < cols; ++j) ASSERT_EQ(rows[j], first + j);  // Y4
        std::vector<char> used(rows.size(), 0);
        for (std::size_t p = 1; p < rows.size(); ++p) ASSERT_LT(rows[p - 1], rows[p]);
        for (std::size_t p = cols; p < rows.size(); ++p)
        {
            int owner = s.superParent[sn];  // Y4: row p lies in an ancestor
            while (owner != -1 && rows[p] >= s.superStart[owner + 1]) owner = s.superParent[owner];
            ASSERT_TRUE(owner != -1 && rows[p] >= s.superStart[owner]) << rows[p];
        }
        for (int j = first; j < first + cols; ++j)
            for (int i : columns[j])
            {
                const auto at = std::lower_bound(rows.begin(), rows.end(), i);
                ASSERT_TRUE(at != rows.end() && *at == i) << "L(" << i << ", " << j << ")";
                used[at - rows.begin()] = 1;
            }
        EXPECT_EQ(std::count(used.begin(), used.end(), 0), 0) << "a row no column needs";
        ASSERT_EQ(s.valuePtr[sn + 1] - s.valuePtr[sn], static_cast<long long>(rows.size()) * cols);
        stored += static_cast<long long>(rows.size()) * cols - cols * (cols - 1LL) / 2;
    }
    // the work of a subtree covers its children's, and the stored zeros only add to it
    double rootWork = 0.0;
    for (int sn = 0; sn < s.nsuper; ++sn)
        if (s.superParent[sn] == -1)
            rootWork += s.subtreeFlops[sn];
        else
            EXPECT_GE(s.subtreeFlops[s.superParent[sn]], s.subtreeFlops[sn]);
    EXPECT_GE(rootWork, flops * (1 - 1e-12));
    EXPECT_EQ(s.factorEntries, entries);
    EXPECT_EQ(s.storedEntries, stored);
    EXPECT_NEAR(s.factorFlops, flops, 1e-9 * flops);
    // Y6, Y7: the walk over the upper cells, each entry at its lower-triangle position
    std::size_t t = 0;
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
        {
            if (c->m_nCol < r->m_nRow) continue;
            ASSERT_LT(t, s.entryMap.size());
            EXPECT_EQ(s.entryRow[t], r->m_nRow);
            EXPECT_EQ(s.entryCol[t], c->m_nCol);
            const int a = s.iperm[r->m_nRow], b = s.iperm[c->m_nCol];
            const int col = std::min(a, b), row = std::max(a, b);
            const int sn =
                static_cast<int>(std::upper_bound(s.superStart.begin(), s.superStart.end(), col) -
                                 s.superStart.begin() - 1);
            const auto* rows = s.rowInd.data() + s.rowPtr[sn];
            const long long at = std::lower_bound(rows, rows + s.nrows(sn), row) - rows;
            EXPECT_EQ(s.entryMap[t], s.valuePtr[sn] + (col - s.superStart[sn]) * s.nrows(sn) + at);
            ++t;
        }
    EXPECT_EQ(t, s.entryMap.size());
}

// The elements with every node carrying two unknowns: 2 node + c, or node + c nodes (the
// unknowns of one node then far apart in the numbering).
ElementList two_per_node(const ElementList& elements, long nodes, bool interleaved)
{
    ElementList out;
    for (const auto& e : elements)
    {
        std::vector<long> dofs;
        for (long node : e)
            for (long c = 0; c < 2; ++c)
                dofs.push_back(interleaved ? 2 * node + c : node + c * nodes);
        out.push_back(dofs);
    }
    return out;
}

// The pattern of a finite-element problem's assembled matrix, upper triangle, in a system
// matrix (rows reached by index).
CSystSpMat fem_pattern(const tarvel_fem::FemProblem& p)
{
    CSystSpMat K(static_cast<int>(p.num_dofs));
    for (long e = 0; e < p.num_elements(); ++e)
        for (int a = 0; a < p.dofs_per_element; ++a)
            for (int b = 0; b < p.dofs_per_element; ++b)
                if (p.dofs(e)[a] <= p.dofs(e)[b])
                    K.Add(static_cast<int>(p.dofs(e)[a]), static_cast<int>(p.dofs(e)[b]), 1.0);
    return K;
}

std::vector<int> shuffled(int n, unsigned seed)
{
    std::vector<int> labels(n);
    for (int k = 0; k < n; ++k) labels[k] = k;
    std::mt19937 gen(seed);
    std::shuffle(labels.begin(), labels.end(), gen);
    return labels;
}

}  // namespace

// Random patterns and finite-element patterns (structured and random elements), every ordering.
TEST_F(Analysis, MatchesDenseEliminationForEveryOrdering)
{
    std::mt19937 gen(24);
    std::vector<std::pair<std::string, CSparseMatrix>> cases;
    for (int n : {2, 5, 17, 40, 75})
        for (int perRow : {1, 3})
            cases.emplace_back("random " + std::to_string(n) + "/" + std::to_string(perRow),
                               random_pattern(gen, n, perRow));
    cases.emplace_back("Q4 grid 7 x 5", coupled(GridElements(7, 5)));
    cases.emplace_back("random elements", coupled(RandomElements(gen, 60, 25, 6, 0.1)));
    for (bool interleaved : {true, false})
        cases.emplace_back("two unknowns per node",
                           coupled(two_per_node(GridElements(5, 3), 24, interleaved)));
    cases.emplace_back("system with empty rows", System(50, coupled(GridElements(4, 4))));
    for (const auto& [name, A] : cases)
        for (OrderingChoice ordering : kAllOrderings)
        {
            SCOPED_TRACE(name + " ordering " + std::to_string(static_cast<int>(ordering)));
            const int n = std::max(A.GetRows(), A.GetColumns());
            const std::vector<int> labels = shuffled(n, 7);
            const Symbolic s = analysed(A, ordering, &labels);
            ASSERT_EQ(s.n, n);
            expect_consistent(A, s);
        }
}

// The five-point Laplacian of a k x k grid in row order fills its band: row i of L starts at
// its neighbour i - k (i >= k) or i - 1 (0 < i < k), so L holds n + k (n - k) + k - 1 entries.
// The reducing orderings must do far better on the larger grids; the automatic one is AMD.
TEST_F(Analysis, GridFactorSizes)
{
    for (int k : {1, 2, 3, 10, 40})
    {
        SCOPED_TRACE(k);
        CSparseMatrix A;
        GridLaplacian(k, k).AssembleInto(A);
        const long long n = k * k;
        const Symbolic natural = analysed(A, OrderingChoice::natural);
        EXPECT_EQ(natural.factorEntries, n + k * (n - k) + k - 1);
        if (k < 40) continue;
        const Symbolic amd = analysed(A, OrderingChoice::amd);
        const Symbolic metis = analysed(A, OrderingChoice::metis);
        EXPECT_LT(amd.factorEntries, natural.factorEntries / 2);
        EXPECT_LT(metis.factorEntries, natural.factorEntries / 2);
        EXPECT_EQ(analysed(A, OrderingChoice::automatic).factorEntries, amd.factorEntries);
        EXPECT_LT(amd.factorFlops, natural.factorFlops / 4);
        EXPECT_LT(metis.factorFlops, natural.factorFlops / 4);
    }
}

// On a 3-D mesh AMD's factor is dense enough for METIS to be tried as well, and nested
// dissection's smaller factor is kept (on the 2-D grid above, AMD's stands alone).
TEST_F(Analysis, AutomaticKeepsNestedDissectionOn3DMeshes)
{
    const CSystSpMat cube = fem_pattern(tarvel_fem::poisson_3d(21));  // 22^3 unknowns
    const Symbolic amd = analysed(cube, OrderingChoice::amd);
    const Symbolic metis = analysed(cube, OrderingChoice::metis);
    EXPECT_LT(metis.factorEntries, amd.factorEntries * 3 / 4);
    EXPECT_EQ(analysed(cube, OrderingChoice::automatic).factorEntries, metis.factorEntries);
}

TEST_F(Analysis, EmptyAndOneByOne)
{
    CSparseMatrix empty, one;
    one.Add(0, 0, 2.0);
    for (OrderingChoice ordering : kAllOrderings)
    {
        const std::vector<int> none, zero{0};
        const Symbolic e = analysed(empty, ordering, &none);
        EXPECT_EQ(e.n, 0);
        EXPECT_EQ(e.nsuper, 0);
        EXPECT_EQ(e.valuePtr, std::vector<int64_t>{0});
        const Symbolic s = analysed(one, ordering, &zero);
        EXPECT_EQ(s.nsuper, 1);
        EXPECT_EQ(s.factorEntries, 1);
        EXPECT_EQ(s.entryMap, std::vector<int64_t>{0});
    }
}

// The labels of a reverse Cuthill-McKee run of CReorderMat give the factor of that order (the
// analysis only postorders it, which keeps the structure).
TEST_F(Analysis, TakesACReorderMatLabelling)
{
    const ElementList elements = GridElements(9, 6);
    CReorderMat graph(0);
    BuildGraph(graph, 70, elements);
    TempDir dir;
    {
        ScriptPathScope script(dir.file("Reord.m"));
        graph.RevCuthillMcKee();
    }
    std::vector<int> labels(70);
    for (int dof = 0; dof < 70; ++dof) labels[dof] = graph.f_v(dof);
    const CSparseMatrix A = coupled(elements);
    const Symbolic s = analysed(A, OrderingChoice::labels, &labels);
    expect_consistent(A, s);
    Symbolic byLabels = s;  // the same count in the labelling's own order
    byLabels.iperm = labels;
    long long entries = 0;
    for (const auto& column : brute_force_columns(A, byLabels)) entries += column.size();
    EXPECT_EQ(s.factorEntries, entries);
    EXPECT_LT(s.factorEntries, analysed(A, OrderingChoice::natural).factorEntries);
}

TEST_F(Analysis, RefusesABadLabelling)
{
    const CSparseMatrix A = coupled(GridElements(2, 2));  // 9 unknowns
    const std::vector<std::vector<int>> bad = {
        {0, 1, 2, 3, 4, 5, 6, 7},      // one label short
        {0, 1, 2, 3, 4, 5, 6, 7, 7},   // a label twice
        {0, 1, 2, 3, 4, 5, 6, 7, 9},   // a label outside 0 .. n-1
        {-1, 1, 2, 3, 4, 5, 6, 7, 8},  // a negative label
    };
    for (const auto& labels : bad)
    {
        Symbolic s;
        CString failure;
        EXPECT_FALSE(AnalyzePattern(A, OrderingChoice::labels, &labels, s, failure));
        EXPECT_NE(failure.str().find("labelling"), std::string::npos) << failure.str();
    }
    Symbolic s;
    CString failure;
    EXPECT_FALSE(AnalyzePattern(A, OrderingChoice::labels, nullptr, s, failure));
}

// With the address space limited to what the process holds plus 8 MiB, the arrays of a
// four-million-entry pattern cannot be had: every ordering fails with "out of memory" instead
// of ending the program. The child is a fresh run of the test program, one exit-code bit per
// ordering that did not fail so (see SparseFactorFailure for why not a fork).
TEST(AnalysisFailure, ExhaustedStorageIsOutOfMemory)
{
    if (!kAddressLimitWorks) GTEST_SKIP() << "no address-space limit under the sanitizers";
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = []()
    {
        const int n = 200000;
        CSystSpMat A(n);
        for (int i = 0; i < n; ++i)
        {
            CSparseMatrix::cell* c = nullptr;
            for (int j = i; j < std::min(n, i + 20); ++j) A.Add(i, j, 1.0, c);
        }
        if (!limit_address_space(8ull << 20)) std::_Exit(99);
        int code = 0, bit = 1;
        for (OrderingChoice ordering : kAllOrderings)
        {
            Symbolic s;
            CString failure;
            std::vector<int> labels;
            if (AnalyzePattern(A, ordering, &labels, s, failure) ||
                failure.str() != "out of memory")
                code |= bit;
            bit <<= 1;
        }
        std::_Exit(code);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}
