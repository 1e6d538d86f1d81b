// The direct component. AnalyzePattern: every ordering's supernodal structure against a dense
// boolean elimination of the same permuted pattern, the invariants Y1-Y7 of the analysis record,
// the fill of the reducing orderings and the automatic choice, labellings good and bad.
// CSupernodalCholesky: the scaled residual of every ordering and of a CReorderMat labelling, many
// right-hand sides, new values on the analysed pattern, the report, the failure paths and their
// texts, one and two threads, exhausted storage (with the analysis).
#include "detail/Symbolic.h"
#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/MemoryLimit.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <tarvel-direct/SupernodalCholesky.h>
#include <thread>

using namespace tarvel_test;
using SupernodalCholesky = GlobalStateTest;
using tarvel::direct::AnalyzePattern;
using tarvel::direct::OrderingChoice;
using tarvel::direct::Symbolic;

namespace
{

const CSupernodalCholesky::Ordering kOrderings[] = {
    CSupernodalCholesky::orderAuto, CSupernodalCholesky::orderAMD, CSupernodalCholesky::orderMETIS,
    CSupernodalCholesky::orderNatural};

// A random SPD matrix on n unknowns: a weighted graph Laplacian (count edges, weights 0.5 .. 2)
// plus the identity, so every eigenvalue lies in 1 .. 1 + 4 * (largest degree).
Mesh RandomLaplacian(int n, int edges, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<long> node(0, n - 1);
    std::uniform_real_distribution<double> weight(0.5, 2.0);
    Mesh m{n, {}, {}};
    for (long i = 0; i < n; ++i) m.dofs.push_back({i}), m.ke.push_back({1.0});
    for (int e = 0; e < edges && n > 1; ++e)
    {
        const long i = node(gen), j = node(gen);
        const double w = weight(gen);
        if (i != j) m.dofs.push_back({i, j}), m.ke.push_back({w, -w, -w, w});
    }
    return m;
}

// One dense element on n unknowns: off-diagonal entries uniform in -1 .. 1, diagonal 2n, so
// every eigenvalue lies in n + 1 .. 3n (Gershgorin) - one wide supernode.
Mesh DenseSpd(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    Mesh m{n, {{}}, {std::vector<double>(static_cast<size_t>(n) * n, 2.0 * n)}};
    for (long i = 0; i < n; ++i)
    {
        m.dofs[0].push_back(i);
        for (long j = i + 1; j < n; ++j) m.ke[0][i * n + j] = m.ke[0][j * n + i] = value(gen);
    }
    return m;
}

// Analyze, Factorize and Solve in one go; the status of the first step that fails.
int SolveWith(CSupernodalCholesky& chol, const CSparseMatrix& A, CMatrix& B)
{
    if (chol.Analyze(A) != 1 || chol.Factorize(A) != 1) return -1;
    return chol.Solve(B);
}

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

// The matrix of the unknowns' couplings in n rows: every pair of an element's non-negative
// DOFs, both triangles stored (the analysis must read the upper one only).
CSystSpMat coupled(int n, const ElementList& elements)
{
    CSystSpMat A(n);
    for (const auto& e : elements)
        for (long a : e)
            for (long b : e)
                if (a >= 0 && b >= 0) A.Add(static_cast<int>(a), static_cast<int>(b), 1.0);
    return A;
}

// A random pattern of n unknowns (Problems.h): about perRow couplings per row anywhere to the
// right, about as many left of the diagonal (to be ignored), some rows not stored at all; every
// seventh row lacks its diagonal, which must still get its place in the factor.
CSparseMatrix random_pattern(std::mt19937& gen, int n, int perRow)
{
    CSparseMatrix A = RandomSparse(gen, {n, perRow, n, false, 1.0, true});
    for (CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        if (r->m_nRow % 7 == 3) delete r->Remove(r->m_nRow);
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

// The record's invariants against the brute-force columns: perm and iperm inverse (Y1); the
// supernodes tile 0 .. n-1 (Y2), each parent after its child (Y3); each supernode's rows
// ascending, its pivots first, holding exactly the rows its columns need (the stored zeros of
// amalgamation aside) (Y4) in a trapezoid of rows x columns values (Y5); the counts; and the walk
// over the upper cells, each entry at its lower-triangle position (Y6, Y7).
void expect_consistent(const CSparseMatrix& A, const Symbolic& s)
{
    const int n = s.n;
    ASSERT_EQ(s.perm.size(), static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) ASSERT_EQ(s.iperm.at(s.perm[k]), k);
    ASSERT_TRUE(s.superStart.front() == 0 && s.superStart.back() == n);
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
        ASSERT_TRUE(cols > 0 && (s.superParent[sn] == -1 || s.superParent[sn] > sn));
        const std::vector<int> rows(s.rowInd.begin() + s.rowPtr[sn],
                                    s.rowInd.begin() + s.rowPtr[sn + 1]);
        std::set<int> needed;
        for (int j = first; j < first + cols; ++j)
            needed.insert(columns[j].begin(), columns[j].end());
        EXPECT_EQ(rows, std::vector<int>(needed.begin(), needed.end())) << "supernode " << sn;
        ASSERT_EQ(s.valuePtr[sn + 1] - s.valuePtr[sn], static_cast<long long>(rows.size()) * cols);
        stored += static_cast<long long>(rows.size()) * cols - cols * (cols - 1LL) / 2;
    }
    EXPECT_EQ(std::tuple(s.factorEntries, s.storedEntries), std::tuple(entries, stored));
    EXPECT_NEAR(s.factorFlops, flops, 1e-9 * flops);
    std::size_t t = 0;
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
        {
            if (c->m_nCol < r->m_nRow) continue;
            ASSERT_LT(t, s.entryMap.size());
            EXPECT_EQ(std::pair(s.entryRow[t], s.entryCol[t]), std::pair(r->m_nRow, c->m_nCol));
            const int a = s.iperm[r->m_nRow], b = s.iperm[c->m_nCol];
            const int col = std::min(a, b), row = std::max(a, b);
            const int sn =
                static_cast<int>(std::upper_bound(s.superStart.begin(), s.superStart.end(), col) -
                                 s.superStart.begin() - 1);
            const auto* rows = s.rowInd.data() + s.rowPtr[sn];
            const long long at = std::lower_bound(rows, rows + s.nrows(sn), row) - rows;
            EXPECT_EQ(s.entryMap[t++],
                      s.valuePtr[sn] + (col - s.superStart[sn]) * s.nrows(sn) + at);
        }
    EXPECT_EQ(t, s.entryMap.size());
}

}  // namespace

// Each case with three right-hand sides (and its first as a CVector) by every ordering and by
// the labels of a reverse Cuthill-McKee run of CReorderMat on its elements: the scaled residual
// of a backward-stable solve.
TEST_F(SupernodalCholesky, SolvesEveryCaseInEveryOrder)
{
    TempDir dir;
    const ScriptPathScope script(dir.file("Reord.m"));
    std::vector<Mesh> cases = {Grid(6), Grid(23), DenseSpd(300, 5)};
    for (auto [n, edges] : {std::pair{1, 0}, {5, 6}, {40, 60}, {300, 700}})
        cases.push_back(RandomLaplacian(n, edges, n));
    for (const Mesh& mesh : cases)
        for (int o = 0; o <= 4; ++o)  // 4: the labels
        {
            SCOPED_TRACE(std::to_string(mesh.n) + " unknowns, ordering " + std::to_string(o));
            Problem p = MakeProblem(mesh, 3, true);
            CSupernodalCholesky chol;
            CReorderMat graph(0);
            if (o == 4)
            {
                BuildGraph(graph, mesh.n, mesh.dofs);
                graph.RevCuthillMcKee();
                chol.SetLabels(graph);
            }
            else
                chol.SetOrdering(kOrderings[o]);
            ASSERT_EQ(SolveWith(chol, p.A, p.rhs), 1) << chol.LastFailure().GetString();
            EXPECT_LE(ScaledResidual(p.A, p.rhs, p.b), mesh.n * DBL_EPSILON);
            CVector b(mesh.n, true, 0.0);
            for (int i = 0; i < mesh.n; ++i) b[i] = p.b(i, 0);
            const CVector b0(b);
            ASSERT_EQ(chol.Solve(b), 1);
            EXPECT_LE(ScaledResidual(p.A, b, b0), mesh.n * DBL_EPSILON);
        }
}

// 100 right-hand sides at once, then new values (A + 2 I) on the same pattern without a new
// analysis, each successful factorization with one report of a fixed text (the time, the
// factor's entries and the multiply-adds).
TEST_F(SupernodalCholesky, RefactorizesReportsAndSolvesManyRightHandSides)
{
    Problem p = MakeProblem(Grid(29), 100, true, 7);
    const int n = p.A.GetRows();
    CSupernodalCholesky chol;
    ASSERT_EQ(chol.Analyze(p.A), 1);
    for (int round = 0; round < 2; ++round)
    {
        if (round == 1)
            for (int i = 0; i < n; ++i) *p.A.GetValue(i, i) += 2.0;
        p.rhs = p.b;
        ASSERT_EQ(chol.Factorize(p.A), 1);
        ASSERT_EQ(chol.Solve(p.rhs), 1);
        EXPECT_LE(ScaledResidual(p.A, p.rhs, p.b), n * DBL_EPSILON);
        ASSERT_EQ(m_messages.size(), round + 1u);
        char flops[32];
        std::snprintf(flops, sizeof flops, "%10.3e", chol.FactorFlops());
        EXPECT_EQ(Untimed(m_messages[round]),
                  "Used time:\r\n Factorizing  :   T s\r\n Size factor  :   " +
                      std::to_string(chol.FactorEntries()) + "\r\n Flops        :   " + flops);
    }
}

// A negative diagonal at caller column j makes the Schur complement at j negative whatever
// the elimination order, while every pivot before j belongs to an SPD principal submatrix: the
// failure is reported at j, and the object has no factor afterwards. No report is shown.
TEST_F(SupernodalCholesky, NamesTheColumnThatIsNotPositiveDefinite)
{
    for (int j : {0, 17, 62})
        for (CSupernodalCholesky::Ordering o : kOrderings)
        {
            SCOPED_TRACE("column " + std::to_string(j) + " ordering " + std::to_string(o));
            Problem p = MakeProblem(Grid(8), 1, true);
            *p.A.GetValue(j, j) = -10.0;
            CSupernodalCholesky chol;
            chol.SetOrdering(o);
            ASSERT_EQ(chol.Analyze(p.A), 1);
            EXPECT_EQ(chol.Factorize(p.A), -1);
            EXPECT_EQ(chol.LastFailure(), "not positive definite at column " + std::to_string(j));
            EXPECT_EQ(chol.Solve(p.rhs), -1);
        }
    EXPECT_TRUE(m_messages.empty());
}

// Factorize takes only the analysed pattern: an added or a missing entry fails (no factor
// left), and the analysed pattern then factorizes again. Solve fails before any factor and on
// a right-hand side of the wrong size. The empty matrix solves (nothing to do).
TEST_F(SupernodalCholesky, RejectsAnotherPatternAndMisuse)
{
    Problem p = MakeProblem(Grid(5), 2, true);
    CSupernodalCholesky chol;
    CVector b(25, true, 1.0), shorter(24, true, 1.0);
    EXPECT_EQ(chol.Factorize(p.A), -1);
    EXPECT_EQ(chol.Solve(b), -1);
    ASSERT_EQ(chol.Analyze(p.A), 1);
    EXPECT_EQ(chol.Solve(b), -1);
    CSparseMatrix added(p.A), missing(p.A);
    added.Add(3, 20, 0.5);
    delete missing.GetFirstRow()->m_pNextRow->Remove(2);  // the cell (1, 2)
    for (const CSparseMatrix* other : {&added, &missing})
    {
        EXPECT_EQ(chol.Factorize(*other), -1);
        EXPECT_EQ(chol.LastFailure(), "pattern differs from the analysed one");
        EXPECT_EQ(chol.Solve(b), -1);
    }
    ASSERT_EQ(chol.Factorize(p.A), 1);
    EXPECT_EQ(chol.Solve(p.rhs), 1);
    EXPECT_EQ(chol.Solve(shorter), -1);

    CMatrix none;
    EXPECT_EQ(SolveWith(chol, CSparseMatrix(), none), 1);
    EXPECT_EQ(chol.FactorEntries(), 0);
}

// The plate, the 3-D Poisson problem with 40 unknowns of their own added (roots of an
// elimination forest) and a dense matrix, 130 right-hand sides (more than one group): the scaled
// residual of a backward-stable solve (n eps is loose at these sizes: the error grows with the
// largest column count, not with n). One, two and all threads give the same bits: every entry of
// the factor and of the solutions sees the same operations in the same order (the dense case
// splits its one wide supernode into pieces, the solve its right-hand sides into groups). A
// progress handler is installed throughout: it changes no bit and is called in order by the
// calling thread alone.
TEST_F(SupernodalCholesky, SolvesAlikeOnAnyThreadCount)
{
    Mesh cube = FreeMesh(tarvel_fem::poisson_3d(16));
    for (int i = 0; i < 40; ++i) cube.dofs.push_back({cube.n++}), cube.ke.push_back({1.0});
    const Mesh meshes[] = {FreeMesh(tarvel_fem::cantilever_plate(40, 10)), cube, DenseSpd(660, 9)};
    for (const Mesh& mesh : meshes)
    {
        SCOPED_TRACE(mesh.n);
        const Problem p = MakeProblem(mesh, 130, true);
        CMatrix first;
        for (int threads : {1, 2, 0})
        {
            CMatrix x = p.b;
            CSupernodalCholesky chol;
            chol.SetThreads(threads);
            std::vector<double> done;  // the progress, -1 for a call from another thread
            const std::thread::id caller = std::this_thread::get_id();
            TarvelSetProgressHandler(
                [&](const TarvelProgress& q)
                { done.push_back(std::this_thread::get_id() == caller ? q.done : -1); });
            ASSERT_EQ(SolveWith(chol, p.A, x), 1) << chol.LastFailure().GetString();
            TarvelSetProgressHandler({});
            EXPECT_TRUE(done.size() >= 3u && done.front() == 0.0 && done.back() == 1.0 &&
                        done.size() <= kProgressSteps + 2u &&
                        std::is_sorted(done.begin(), done.end()));
            EXPECT_LE(ScaledResidual(p.A, x, p.b), mesh.n * DBL_EPSILON);
            if (threads == 1) first = x;
            EXPECT_TRUE(SameBits(x, first)) << threads << " threads";
        }
    }
}

// Random patterns and finite-element patterns (structured, random elements, the plate's two
// unknowns per node, empty rows), every ordering. A labelling is the elimination order: the
// analysis only postorders it, which keeps the factor's size.
TEST_F(SupernodalCholesky, AnalysisMatchesDenseEliminationForEveryOrdering)
{
    std::mt19937 gen(24);
    std::vector<std::pair<std::string, CSparseMatrix>> cases;
    for (int n : {2, 5, 17, 40, 75})
        for (int perRow : {1, 3})
            cases.emplace_back("random " + std::to_string(n) + "/" + std::to_string(perRow),
                               random_pattern(gen, n, perRow));
    const Mesh plate = FreeMesh(tarvel_fem::cantilever_plate(5, 3));
    cases.emplace_back("Q4 grid 7 x 5", coupled(48, GridElements(7, 5)));
    cases.emplace_back("random elements", coupled(60, RandomElements(gen, 60, 25, 6, 0.1)));
    cases.emplace_back("plate", coupled(plate.n, plate.dofs));
    cases.emplace_back("system with empty rows", coupled(50, GridElements(4, 4)));
    for (const auto& [name, A] : cases)
        for (OrderingChoice ordering : kAllOrderings)
        {
            SCOPED_TRACE(name + " ordering " + std::to_string(static_cast<int>(ordering)));
            const int n = std::max(A.GetRows(), A.GetColumns());
            std::vector<int> labels(n);
            std::iota(labels.begin(), labels.end(), 0);
            std::shuffle(labels.begin(), labels.end(), std::mt19937(7));
            const Symbolic s = analysed(A, ordering, &labels);
            ASSERT_EQ(s.n, n);
            expect_consistent(A, s);
            if (ordering != OrderingChoice::labels) continue;
            Symbolic byLabels = s;
            byLabels.iperm = labels;
            long long entries = 0;
            for (const auto& column : brute_force_columns(A, byLabels)) entries += column.size();
            EXPECT_EQ(s.factorEntries, entries);
        }
}

// The reducing orderings on the 40 x 40 grid: well under three fifths of the entries and half the
// work of the natural order, and the automatic choice is AMD. On the 22^3 cube AMD's factor is
// dense enough for METIS to be tried as well, and nested dissection's smaller factor (under
// three quarters of AMD's) is kept.
TEST_F(SupernodalCholesky, AnalysisReducingOrderingsAndTheAutomaticChoice)
{
    const Mesh grid = Grid(40), cube = FreeMesh(tarvel_fem::poisson_3d(23));
    const CSystSpMat G = coupled(grid.n, grid.dofs), C = coupled(cube.n, cube.dofs);
    const Symbolic natural = analysed(G, OrderingChoice::natural);
    for (OrderingChoice o : {OrderingChoice::amd, OrderingChoice::metis})
    {
        const Symbolic s = analysed(G, o);
        EXPECT_TRUE(s.factorEntries < natural.factorEntries * 3 / 5 &&
                    s.factorFlops < natural.factorFlops / 2);
    }
    EXPECT_EQ(analysed(G, OrderingChoice::automatic).factorEntries,
              analysed(G, OrderingChoice::amd).factorEntries);
    const Symbolic metis = analysed(C, OrderingChoice::metis);
    EXPECT_LT(metis.factorEntries, analysed(C, OrderingChoice::amd).factorEntries * 3 / 4);
    EXPECT_EQ(analysed(C, OrderingChoice::automatic).factorEntries, metis.factorEntries);
}

// The empty and the 1 x 1 matrix under every ordering; a labelling that is not a permutation of
// 0 .. n-1, or none, is refused.
TEST_F(SupernodalCholesky, AnalysisSmallCasesAndBadLabellings)
{
    for (OrderingChoice ordering : kAllOrderings)
    {
        const std::vector<int> none, zero{0};
        const Symbolic e = analysed(CSparseMatrix(), ordering, &none);
        EXPECT_EQ(std::tuple(e.n, e.nsuper, e.valuePtr), std::tuple(0, 0, std::vector<int64_t>{0}));
        const Symbolic s = analysed(FromTriplets({{0, 0, 2.0}}), ordering, &zero);
        EXPECT_EQ(std::tuple(s.nsuper, s.factorEntries, s.entryMap),
                  std::tuple(1, 1LL, std::vector<int64_t>{0}));
    }
    const std::pair<std::vector<int>, const char*> bad[] = {
        {{0, 1, 2, 3, 4, 5, 6, 7}, "the labelling has 8 labels for 9 unknowns"},
        {{0, 1, 2, 3, 4, 5, 6, 7, 7}, "the labelling is not a permutation: unknown 8 has label 7"},
        {{0, 1, 2, 3, 4, 5, 6, 7, 9}, "the labelling is not a permutation: unknown 8 has label 9"},
        {{-1, 1, 2, 3, 4, 5, 6, 7, 8},
         "the labelling is not a permutation: unknown 0 has label -1"},
        {{}, "the labelling has 0 labels for 9 unknowns"}};  // passed as no labelling at all
    const CSparseMatrix B = coupled(9, GridElements(2, 2));
    for (const auto& [l, text] : bad)
    {
        Symbolic t;
        CString failure;
        EXPECT_FALSE(
            AnalyzePattern(B, OrderingChoice::labels, l.empty() ? nullptr : &l, t, failure));
        EXPECT_EQ(failure.str(), text);
    }
}

// Storage, in a child process: with the address space limited to what it uses plus 64 MiB, the
// factor of a 399 x 399 grid in its natural order (its band filled, 6.4e7 entries, 512 MB) is
// refused with "out of memory"; limited then to 8 MiB more, the arrays of the analysis of a
// four-million-entry pattern cannot be had, and every ordering fails so instead of ending the
// program. One bit of the exit code for each that did not.
TEST(SupernodalCholeskyStorage, ExhaustedStorageIsOutOfMemory)
{
    ExpectZeroUnderLimit(
        []
        {
            const int n = 200000;
            CSystSpMat A(399 * 399), B(n);  // rows in an array: each Add reaches its row at once
            CVirtMat::m_bSym = true;
            Grid(399).AssembleInto(A);
            for (int i = 0; i < n; ++i)
                for (int j = i; j < std::min(n, i + 20); ++j) B.Add(i, j, 1.0);
            CSupernodalCholesky chol;
            chol.SetOrdering(CSupernodalCholesky::orderNatural);
            if (chol.Analyze(A) != 1 || !limit_address_space(64ull << 20)) return 99;
            int code =
                chol.Factorize(A) == -1 && chol.LastFailure().Left(13) == "out of memory" ? 0 : 1;
            if (!limit_address_space(8ull << 20)) return 99;
            for (int k = 0; k < 5; ++k)
            {
                Symbolic s;
                CString failure;
                std::vector<int> labels;
                if (AnalyzePattern(B, kAllOrderings[k], &labels, s, failure) ||
                    failure.str() != "out of memory")
                    code |= 2 << k;
            }
            return code;
        });
}
