// Assembled model problems and the reference matrix: DOF lists, prescribed sets, loads, and
// solutions judged against a dense solve written here.
#include "fem/MeshProblem.h"
#include "fem/Problems.h"
#include "fem/Reference.h"
#include "support/Problems.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

using namespace tarvel_fem;

namespace
{

// Dense n x n matrix, row-major, summed from the element matrices: a second, naive assembly.
std::vector<double> dense_assembly(const FemProblem& p)
{
    const long n = p.num_dofs;
    const int k = p.dofs_per_element;
    std::vector<double> K(static_cast<std::size_t>(n * n), 0.0);
    for (long e = 0; e < p.num_elements(); ++e)
        for (int a = 0; a < k; ++a)
            for (int b = 0; b < k; ++b)
                K[p.dofs(e)[a] * n + p.dofs(e)[b]] += p.matrix(e)[a * k + b];
    return K;
}

// The CSR matrix made dense and solved by the tests' own elimination with partial pivoting.
std::vector<double> dense_solve(const CsrMatrix& A, const std::vector<double>& b)
{
    CMatrix M(A.n, A.n, true, 0.0), B(A.n, 1, true, 0.0);
    for (long i = 0; i < A.n; ++i)
        for (long q = A.row_start[i]; q < A.row_start[i + 1]; ++q) M(i, A.col[q]) = A.val[q];
    std::copy(b.begin(), b.end(), B.m_pData);
    const CMatrix x = tarvel_test::DenseSolve(M, B);
    return std::vector<double>(x.m_pData, x.m_pData + A.n);
}

}  // namespace

TEST(FemProblems, PoissonListsAndLoads)
{
    const FemProblem p = poisson_2d(4);
    EXPECT_EQ(p.num_dofs, 25);
    EXPECT_EQ(p.num_elements(), 16);
    EXPECT_EQ(std::vector<long>(p.dofs(0), p.dofs(0) + 4), (std::vector<long>{0, 1, 6, 5}));
    EXPECT_EQ(p.fixed_dofs,
              (std::vector<long>{0, 1, 2, 3, 4, 5, 9, 10, 14, 15, 19, 20, 21, 22, 23, 24}));
    EXPECT_EQ(p.fixed_values, std::vector<double>(16, 0.0));
    EXPECT_NEAR(p.load[12], 1.0 / 16, 1e-15);  // interior node: four quarters of h^2
    EXPECT_NEAR(std::accumulate(p.load.begin(), p.load.end(), 0.0), 1.0, 1e-14);
    EXPECT_EQ(p.probe_dof, 12);
    long free[4];
    p.free_dofs(5, free);  // element (1, 1): nodes 6, 7, 12, 11
    EXPECT_EQ(std::vector<long>(free, free + 4), (std::vector<long>{6, 7, 12, 11}));
    p.free_dofs(0, free);
    EXPECT_EQ(std::vector<long>(free, free + 4), (std::vector<long>{-1, -1, 6, -1}));

    const FemProblem q = poisson_3d(2);
    EXPECT_EQ(std::tuple(q.num_dofs, q.num_elements(), q.fixed_dofs.size(), q.probe_dof),
              std::tuple(27L, 8L, std::size_t(26), 13L));
    EXPECT_NEAR(q.load[13], 8.0 / 64, 1e-15);  // eight eighths of h^3
    EXPECT_NEAR(std::accumulate(q.load.begin(), q.load.end(), 0.0), 1.0, 1e-14);
}

// 4 x 2 plate, 15 nodes: clamped nodes 0, 5, 10; the prop on node 2 (y DOF 5); the traction
// -1e6 Pa over H t = 0.1 m^2 shared 1/4, 1/2, 1/4 by the loaded nodes 4, 9, 14.
TEST(FemProblems, CantileverPlateListsAndLoads)
{
    const FemProblem p = cantilever_plate(4, 2);
    EXPECT_EQ(p.num_dofs, 30);
    EXPECT_EQ(p.dofs_per_element, 8);
    EXPECT_EQ(std::vector<long>(p.dofs(0), p.dofs(0) + 8),
              (std::vector<long>{0, 1, 2, 3, 12, 13, 10, 11}));
    EXPECT_EQ(p.fixed_dofs, (std::vector<long>{0, 1, 5, 10, 11, 20, 21}));
    EXPECT_EQ(p.fixed_values, (std::vector<double>{0, 0, -1e-3, 0, 0, 0, 0}));
    std::vector<double> expected(30, 0.0);
    expected[9] = expected[29] = -25000.0;
    expected[19] = -50000.0;
    for (int i = 0; i < 30; ++i) EXPECT_NEAR(p.load[i], expected[i], 1e-9) << i;
    EXPECT_EQ(p.probe_dof, 19);
}

// 4 x 2 x 2 block, 5 x 3 x 3 nodes: 9 clamped nodes (27 DOFs) on x = 0; the traction -1e6 Pa
// over W H = 1 m^2 shared 1/16, 1/8, 1/4 by the corner, edge and centre nodes of x = L in z only;
// the block solved densely bends down, more at the tip than at mid-span.
TEST(FemProblems, ElasticBlockListsLoadsAndBends)
{
    const FemProblem p = elastic_block(4, 2, 2);
    EXPECT_EQ(std::tuple(p.num_dofs, p.num_elements(), p.dofs_per_element, p.probe_dof),
              std::tuple(135L, 16L, 24, 3L * 24 + 2));
    EXPECT_EQ(std::vector<long>(p.dofs(1), p.dofs(1) + 6), (std::vector<long>{3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(p.fixed_dofs.size(), 27u);
    for (std::size_t t = 0; t < 27; ++t)
        EXPECT_EQ(p.fixed_dofs[t], 3 * (5 * static_cast<long>(t / 3)) + static_cast<long>(t % 3));
    for (long node = 0; node < 45; ++node)
    {
        const int j = (node / 5) % 3, k = node / 15;
        const double share = node % 5 != 4 ? 0.0 : 0.0625 * (j == 1 ? 2 : 1) * (k == 1 ? 2 : 1);
        EXPECT_NEAR(p.load[3 * node + 2], -1e6 * share, 1e-6) << node;
        EXPECT_EQ(p.load[3 * node] + p.load[3 * node + 1], 0.0);
    }
    const ReducedSystem r = reduce(p);
    const std::vector<double> u = dense_solve(r.K, r.b);
    EXPECT_LT(relative_residual(r.K, u.data(), r.b), 1e-12);
    EXPECT_LT(u[p.probe_dof], u[p.probe_dof - 3 * 2]);  // node (2, 1, 1): mid-span
    EXPECT_LT(u[p.probe_dof - 6], 0.0);
}

TEST(FemReference, CsrMatchesDenseAssembly)
{
    for (const FemProblem& p :
         {poisson_2d(3), poisson_3d(2), cantilever_plate(2, 1), elastic_block(2, 1, 1)})
    {
        SCOPED_TRACE(p.name);
        const CsrMatrix A = assemble_reference(p);
        const std::vector<double> K = dense_assembly(p);
        ASSERT_EQ(A.n, p.num_dofs);
        long stored = 0;
        for (long i = 0; i < A.n; ++i)
            for (long q = A.row_start[i]; q < A.row_start[i + 1]; ++q, ++stored)
            {
                EXPECT_TRUE(q == A.row_start[i] || A.col[q - 1] < A.col[q]);  // ascending
                EXPECT_NEAR(A.val[q], K[i * A.n + A.col[q]], 1e-9 * std::fabs(K[i * A.n + i]));
            }
        const long dense_nonzeros =
            std::count_if(K.begin(), K.end(), [](double v) { return v != 0.0; });
        EXPECT_GE(stored, dense_nonzeros);  // every non-zero is stored (zeros may be, too)
    }
}

// The two eliminations of the prescribed values, element by element and on the assembled
// matrix, agree; the reduced system solved densely satisfies the prescribed values.
TEST(FemReference, ReducedSystemEliminatedLoadAndResidual)
{
    const FemProblem p = cantilever_plate(6, 2);
    const ReducedSystem r = reduce(p);
    const std::vector<double> b = eliminated_load(p);
    for (long i = 0; i < p.num_dofs; ++i) EXPECT_NEAR(r.b[i], b[i], 1e-6 * 1e5) << i;
    const std::vector<double> u = dense_solve(r.K, r.b);
    EXPECT_LT(relative_residual(r.K, u.data(), r.b), 1e-12);
    for (std::size_t t = 0; t < p.fixed_dofs.size(); ++t)
        EXPECT_EQ(u[p.fixed_dofs[t]], p.fixed_values[t]);
    EXPECT_LT(u[p.probe_dof], 0.0);  // the free end goes down with the downward traction

    // The residual by hand: |b - A u| / |b|, infinite for a zero b.
    const CsrMatrix A{2, {0, 1, 2}, {0, 1}, {2.0, 1.0}};
    const double ones[2] = {1.0, 1.0};
    EXPECT_DOUBLE_EQ(relative_residual(A, ones, {2.0, 2.0}), 1.0 / std::sqrt(8.0));
    EXPECT_TRUE(std::isinf(relative_residual(A, ones, {0.0, 0.0})));
}

// The centre value of -laplace(u) = 1 on the unit square with u = 0 on the boundary is
// 0.0736713532814 (Fourier series); bilinear elements converge to it at O(h^2).
TEST(FemReference, Poisson2dConvergesToTheSeriesSolution)
{
    const double exact = 0.0736713532814;
    double previous_error = 0.0;
    for (int n : {8, 16})
    {
        const FemProblem p = poisson_2d(n);
        const ReducedSystem r = reduce(p);
        const std::vector<double> u = dense_solve(r.K, r.b);
        EXPECT_LT(relative_residual(r.K, u.data(), r.b), 1e-13);
        const double error = std::fabs(u[p.probe_dof] - exact);
        EXPECT_TRUE(previous_error == 0.0 || std::fabs(previous_error / error - 4.0) < 0.5)
            << previous_error / error;
        previous_error = error;
    }
}

// The mesh problem finds the plate's boundary conditions from the geometry alone: on the plate's
// own grid it is that plate, bit for bit (lists, matrices, loads, prescribed values, probe).
TEST(FemMeshProblem, GridGivesTheCantileverPlate)
{
    for (auto [nx, ny] : {std::pair{4, 2}, std::pair{10, 4}})
    {
        SCOPED_TRACE(nx);
        const PlateData plate;
        const FemProblem expected = cantilever_plate(nx, ny);
        const FemProblem p = mesh_problem(
            to_mesh(make_quad_grid(nx, ny, plate.length, plate.height)), Physics::PlaneStress);
        const auto fields = [](const FemProblem& q)
        {
            return std::tie(q.num_dofs, q.dofs_per_element, q.element_dofs, q.element_matrices,
                            q.load, q.fixed_dofs, q.fixed_values, q.probe_dof);
        };
        EXPECT_TRUE(fields(p) == fields(expected));
    }
}

// Poisson on two triangles of the unit square (0-1-2, 0-2-3): node 0 and 3 clamped (x = 0), the
// prop on node 1 (the only free node at y = 0), the inflow 1 over the side 1-2 (x = 1) shared
// 1/2, 1/2, the source 1/6 per triangle and corner; the probe is node 1 (x = 1, lower on the tie).
TEST(FemMeshProblem, PoissonOnTrianglesListsAndLoads)
{
    Mesh2D m;
    m.corners = 3;
    m.nodes = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.connectivity = {0, 1, 2, 0, 2, 3};
    const FemProblem p = mesh_problem(m, Physics::Poisson);
    EXPECT_EQ(p.num_dofs, 4);
    EXPECT_EQ(p.element_dofs, m.connectivity);
    EXPECT_EQ(p.fixed_dofs, (std::vector<long>{0, 1, 3}));
    EXPECT_EQ(p.fixed_values, (std::vector<double>{0.0, 1.0, 0.0}));
    const double expected[4] = {2.0 / 6, 1.0 / 6 + 0.5, 2.0 / 6 + 0.5, 1.0 / 6};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(p.load[i], expected[i], 1e-15) << i;
    EXPECT_EQ(p.probe_dof, 1);
}
