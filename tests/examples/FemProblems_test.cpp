// Assembled model problems and the reference system: DOF lists, prescribed sets, loads, and
// solutions by a dense elimination written here, against the series solution and beam bending.
#include "fem/MeshProblem.h"
#include "fem/Problems.h"
#include "fem/Reference.h"
#include "support/Problems.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <numeric>
#include <vector>

using namespace tarvel_fem;

namespace
{

constexpr double kEps = std::numeric_limits<double>::epsilon();

// The reduced system made dense and solved by the tests' own elimination with partial pivoting.
std::vector<double> dense_solve(const FemProblem& p)
{
    const ReducedSystem r = reduce(p);
    const CsrMatrix& A = r.K;
    CMatrix M(A.n, A.n, true, 0.0), B(A.n, 1, true, 0.0);
    for (long i = 0; i < A.n; ++i)
        for (long q = A.row_start[i]; q < A.row_start[i + 1]; ++q) M(i, A.col[q]) = A.val[q];
    std::copy(r.b.begin(), r.b.end(), B.m_pData);
    const CMatrix x = tarvel_test::DenseSolve(M, B);
    return std::vector<double>(x.m_pData, x.m_pData + A.n);
}

}  // namespace

// Each problem's sizes, its first element's DOFs, its prescribed DOFs and values, its probe and
// its loads: the entries listed, and the sum of |load| (where the list is complete, every other
// entry is zero). The plate (4 x 2, 15 nodes): clamped nodes 0, 5, 10, the prop on node 2 (DOF
// 5), the traction -1e6 Pa over H t = 0.1 m^2 shared 1/4, 1/2, 1/4 by nodes 4, 9, 14. The block
// (4 x 2 x 2): 9 clamped nodes on x = 0, the traction over W H = 1 m^2 shared 1/16, 1/8, 1/4 by
// the corner, edge and centre nodes of x = L, along z.
TEST(FemProblems, ListsAndLoads)
{
    std::vector<long> blockFixed, cubeBoundary;
    for (long t = 0; t < 27; ++t) blockFixed.push_back(3 * (5 * (t / 3)) + t % 3);
    for (long v = 0; v < 27; ++v)
        if (v != 13) cubeBoundary.push_back(v);
    std::map<long, double> blockLoad;
    for (long j = 0; j < 3; ++j)
        for (long k = 0; k < 3; ++k)
            blockLoad[3 * (4 + 5 * j + 15 * k) + 2] =
                -1e6 / 16 * (j == 1 ? 2 : 1) * (k == 1 ? 2 : 1);
    struct Case
    {
        FemProblem p;
        long dofs, elements;
        std::vector<long> first, fixed;
        std::vector<double> values;
        long probe;
        std::map<long, double> loads;
        double total;
    };
    const Case cases[] = {
        {poisson_2d(4),
         25,
         16,
         {0, 1, 6, 5},
         {0, 1, 2, 3, 4, 5, 9, 10, 14, 15, 19, 20, 21, 22, 23, 24},
         std::vector<double>(16, 0.0),
         12,
         {{12, 1.0 / 16}, {0, 1.0 / 64}},
         1.0},
        {poisson_3d(2),
         27,
         8,
         {0, 1, 4, 3, 9, 10, 13, 12},
         cubeBoundary,
         std::vector<double>(26, 0.0),
         13,
         {{13, 8.0 / 64}},
         1.0},
        {cantilever_plate(4, 2),
         30,
         8,
         {0, 1, 2, 3, 12, 13, 10, 11},
         {0, 1, 5, 10, 11, 20, 21},
         {0, 0, -1e-3, 0, 0, 0, 0},
         19,
         {{9, -25000.0}, {19, -50000.0}, {29, -25000.0}},
         1e5},
        {elastic_block(4, 2, 2),
         135,
         16,
         {0, 1, 2, 3, 4, 5, 18, 19},
         blockFixed,
         std::vector<double>(27, 0.0),
         3 * 24 + 2,
         blockLoad,
         1e6},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.p.name);
        EXPECT_EQ(std::tuple(c.p.num_dofs, c.p.num_elements(), c.p.probe_dof),
                  std::tuple(c.dofs, c.elements, c.probe));
        EXPECT_EQ(std::vector<long>(c.p.dofs(0), c.p.dofs(0) + c.first.size()), c.first);
        EXPECT_EQ(std::tuple(c.p.fixed_dofs, c.p.fixed_values), std::tuple(c.fixed, c.values));
        double total = 0.0;
        for (double f : c.p.load) total += std::fabs(f);
        EXPECT_NEAR(total, c.total, c.p.num_dofs * kEps * c.total);
        for (auto [dof, value] : c.loads)
            EXPECT_NEAR(c.p.load.at(dof), value, c.p.num_dofs * kEps * c.total) << dof;
    }
    // The graph of the free DOFs sees an element's fixed DOFs as -1.
    const FemProblem p = poisson_2d(4);
    long free[4];
    p.free_dofs(0, free);
    EXPECT_EQ(std::vector<long>(free, free + 4), (std::vector<long>{-1, -1, 6, -1}));
}

// Solved densely: the two eliminations of the prescribed values agree and the solution keeps
// them; the plate's free end and the block go down with the downward traction, the block's tip
// more than its mid-span; the centre value of -laplace(u) = 1 on the unit square converges at
// O(h^2) to 0.0736713532814 (Fourier series); the relative residual of the reference is
// |b - A u| / |b|, infinite for a zero b.
TEST(FemReference, DenseSolutionsBehave)
{
    const FemProblem plate = cantilever_plate(6, 2);
    const std::vector<double> b = eliminated_load(plate), reduced = reduce(plate).b;
    const double scale =
        *std::max_element(plate.element_matrices.begin(), plate.element_matrices.end()) *
        1e-3;  // |K| |g|
    for (long i = 0; i < plate.num_dofs; ++i)
        EXPECT_NEAR(reduced[i], b[i], plate.dofs_per_element * kEps * scale) << i;
    std::vector<double> u = dense_solve(plate);
    for (std::size_t t = 0; t < plate.fixed_dofs.size(); ++t)
        EXPECT_EQ(u[plate.fixed_dofs[t]], plate.fixed_values[t]);
    EXPECT_LT(u[plate.probe_dof], 0.0);

    const FemProblem block = elastic_block(4, 2, 2);
    u = dense_solve(block);
    EXPECT_LT(u[block.probe_dof], u[block.probe_dof - 3 * 2]);  // node (2, 1, 1): mid-span
    EXPECT_LT(u[block.probe_dof - 6], 0.0);

    const double exact = 0.0736713532814;
    double errors[2];
    for (int n : {8, 16})
    {
        const FemProblem p = poisson_2d(n);
        errors[n / 16] = std::fabs(dense_solve(p)[p.probe_dof] - exact);
    }
    EXPECT_NEAR(errors[0] / errors[1], 4.0, 0.5);

    const CsrMatrix A{2, {0, 1, 2}, {0, 1}, {2.0, 1.0}};  // the residual by hand, and of a zero b
    const double ones[2] = {1.0, 1.0};
    EXPECT_DOUBLE_EQ(relative_residual(A, ones, {2.0, 2.0}), 1.0 / std::sqrt(8.0));
    EXPECT_TRUE(std::isinf(relative_residual(A, ones, {0.0, 0.0})));
}

// On the plate's own grid the mesh problem finds the plate's boundary conditions from the
// geometry alone, bit for bit; on two triangles of the unit square (0-1-2, 0-2-3) Poisson clamps
// nodes 0 and 3 (x = 0), props node 1 (the only free node at y = 0) to 1, shares the inflow 1 over
// the side 1-2 1/2, 1/2 and the source 1/6 per triangle and corner; the probe is node 1.
TEST(FemMeshProblem, BoundaryFromTheGeometry)
{
    for (auto [nx, ny] : {std::pair{4, 2}, std::pair{10, 4}})
    {
        const PlateData plate;
        const FemProblem expected = cantilever_plate(nx, ny);
        const FemProblem p = mesh_problem(
            to_mesh(make_quad_grid(nx, ny, plate.length, plate.height)), Physics::PlaneStress);
        const auto fields = [](const FemProblem& q)
        {
            return std::tie(q.num_dofs, q.dofs_per_element, q.element_dofs, q.element_matrices,
                            q.load, q.fixed_dofs, q.fixed_values, q.probe_dof);
        };
        EXPECT_TRUE(fields(p) == fields(expected)) << nx;
    }
    Mesh2D m;
    m.corners = 3;
    m.nodes = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.connectivity = {0, 1, 2, 0, 2, 3};
    const FemProblem p = mesh_problem(m, Physics::Poisson);
    EXPECT_EQ(std::tuple(p.num_dofs, p.element_dofs, p.fixed_dofs, p.fixed_values, p.probe_dof),
              std::tuple(4L, m.connectivity, std::vector<long>{0, 1, 3},
                         std::vector<double>{0.0, 1.0, 0.0}, 1L));
    const double expected[4] = {2.0 / 6, 1.0 / 6 + 0.5, 2.0 / 6 + 0.5, 1.0 / 6};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(p.load[i], expected[i], 4 * kEps) << i;
}
