// Assembled model problems and the reference system: DOF lists, prescribed sets, loads, and
// solutions by a dense elimination written here, against the series solution and beam bending.
#include "fem/MeshProblem.h"
#include "fem/Problems.h"
#include "fem/Reference.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <iomanip>
#include <limits>
#include <sstream>
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

// Each problem's sizes, its first element's DOFs (with its fixed DOFs as -1, as the graph of the
// free DOFs sees them), its prescribed DOFs and values, its probe and its non-zero loads, against
// tests/data/fem/problems.txt. Poisson: the unit source shared by the nodes (1/16 at an inner
// node of the 4 x 4 grid, 1/64 at a corner; 8/64 at the cube's centre), the boundary fixed at 0.
// The plate (4 x 2, 15 nodes): clamped nodes 0, 5, 10, the prop on node 2 (DOF 5), the traction
// -1e6 Pa over H t = 0.1 m^2 shared 1/4, 1/2, 1/4 by nodes 4, 9, 14. The block (4 x 2 x 2): 9
// clamped nodes on x = 0, the traction over W H = 1 m^2 shared 1/16, 1/8, 1/4 by the corner, edge
// and centre nodes of x = L, along z. The mesh problem on two triangles of the unit square (0-1-2,
// 0-2-3), Poisson: nodes 0 and 3 clamped (x = 0), node 1 (the only free node at y = 0) propped to
// 1, the inflow 1 over the side 1-2 shared 1/2, 1/2 and the source 1/6 per triangle and corner;
// the probe is node 1.
TEST(FemProblems, ListsAndLoads)
{
    Mesh2D m;
    std::tie(m.corners, m.nodes, m.connectivity) =
        std::tuple(3, std::vector<Point2>{{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                   std::vector<long>{0, 1, 2, 0, 2, 3});
    std::ostringstream s;
    s << std::setprecision(12);
    for (const FemProblem& p : {poisson_2d(4), poisson_3d(2), cantilever_plate(4, 2),
                                elastic_block(4, 2, 2), mesh_problem(m, Physics::Poisson)})
    {
        std::vector<long> free(static_cast<std::size_t>(p.dofs_per_element));
        p.free_dofs(0, free.data());
        s << p.name << ": " << p.num_dofs << " DOFs, " << p.num_elements() << " elements, probe "
          << p.probe_dof << "\nfirst";
        for (long a = 0; a < p.dofs_per_element; ++a) s << ' ' << p.dofs(0)[a] << '/' << free[a];
        s << "\nlast";
        for (long a = 0; a < p.dofs_per_element; ++a) s << ' ' << p.dofs(p.num_elements() - 1)[a];
        s << "\nfixed";
        for (std::size_t t = 0; t < p.fixed_dofs.size(); ++t)
            s << ' ' << p.fixed_dofs[t] << '=' << p.fixed_values[t];
        s << "\nloads";
        for (long d = 0; d < p.num_dofs; ++d)
            if (p.load[d] != 0.0) s << ' ' << d << '=' << p.load[d];
        s << '\n';
    }
    EXPECT_EQ(s.str(), tarvel_test::read_bytes(TARVEL_TEST_DATA_DIR "/fem/problems.txt"));
}

// Solved densely: the two eliminations of the prescribed values agree and the solution keeps
// them; the centre value of -laplace(u) = 1 on the unit square converges at O(h^2) to
// 0.0736713532814 (Fourier series); the relative residual of the reference is |b - A u| / |b|,
// infinite for a zero b. (The block's deflection is judged against beam theory in tests/apps.)
TEST(FemReference, DenseSolutionsBehave)
{
    const FemProblem plate = cantilever_plate(6, 2);
    const std::vector<double> b = eliminated_load(plate), reduced = reduce(plate).b;
    const auto& K = plate.element_matrices;
    const double scale = *std::max_element(K.begin(), K.end()) * 1e-3;  // |K| |g|
    for (long i = 0; i < plate.num_dofs; ++i)
        EXPECT_NEAR(reduced[i], b[i], plate.dofs_per_element * kEps * scale) << i;
    const std::vector<double> u = dense_solve(plate);
    for (std::size_t t = 0; t < plate.fixed_dofs.size(); ++t)
        EXPECT_EQ(u[plate.fixed_dofs[t]], plate.fixed_values[t]);

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
// geometry alone, bit for bit (two triangles of the unit square: ListsAndLoads).
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
}
