// Meshes and element matrices of the finite-element model: numbering, hand-worked matrices,
// null spaces, and the patch test on distorted grids.
#include "fem/Elements.h"
#include "fem/Mesh.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

using namespace tarvel_fem;

namespace
{

constexpr double kTol = 1e-13;  // element entries are O(1) sums of a few dozen products

template <std::size_t N> double max_abs(const std::array<double, N>& a)
{
    double m = 0.0;
    for (double v : a) m = std::max(m, std::fabs(v));
    return m;
}

template <std::size_t N> void expect_symmetric(const std::array<double, N>& k, int n)
{
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) EXPECT_NEAR(k[a * n + b], k[b * n + a], kTol * max_abs(k));
}

// y = K x for a k x k row-major block.
template <std::size_t N>
std::vector<double> multiply(const std::array<double, N>& K, const std::vector<double>& x)
{
    const std::size_t n = x.size();
    std::vector<double> y(n, 0.0);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) y[a] += K[a * n + b] * x[b];
    return y;
}

// u^T K u for a displacement u of the element's nodes.
template <std::size_t N> double energy(const std::array<double, N>& K, const std::vector<double>& u)
{
    const std::vector<double> Ku = multiply(K, u);
    return std::inner_product(u.begin(), u.end(), Ku.begin(), 0.0);
}

// The two translations and the infinitesimal rotation (-y, x) of a plane element with corners p
// produce no force.
template <std::size_t N, class Corners>
void expect_rigid_modes(const std::array<double, N>& k, const Corners& p)
{
    std::vector<double> tx(2 * p.size()), ty(2 * p.size()), rot(2 * p.size());
    for (std::size_t a = 0; a < p.size(); ++a)
    {
        tx[2 * a] = ty[2 * a + 1] = 1.0;
        rot[2 * a] = -p[a].y;
        rot[2 * a + 1] = p[a].x;
    }
    for (const auto* mode : {&tx, &ty, &rot})
        for (double f : multiply(k, *mode)) EXPECT_NEAR(f, 0.0, 1e-12 * max_abs(k));
}

const Quad kSkewed = {{{0.0, 0.0}, {2.0, 0.3}, {2.4, 1.9}, {-0.2, 1.2}}};

template <class Corners> double shoelace_area(const Corners& q)
{
    double twice = 0.0;
    for (std::size_t a = 0, n = q.size(); a < n; ++a)
        twice += q[a].x * q[(a + 1) % n].y - q[(a + 1) % n].x * q[a].y;
    return 0.5 * twice;
}

// A grid whose interior nodes are moved off the lattice, so that no element is a parallelogram.
QuadGrid distorted_grid()
{
    QuadGrid g = make_quad_grid(3, 3, 3.0, 3.0);
    const double shift[4][2] = {{0.21, -0.13}, {-0.17, 0.11}, {0.09, 0.23}, {-0.25, -0.07}};
    for (int s = 0; s < 4; ++s)  // nodes (1, 1), (2, 1), (1, 2), (2, 2)
    {
        auto& p = g.nodes[g.node(1 + s % 2, 1 + s / 2)];
        p = {p.x + shift[s][0], p.y + shift[s][1]};
    }
    return g;
}

}  // namespace

TEST(FemMesh, GridsNumberRowByRow)
{
    const QuadGrid g = make_quad_grid(3, 2, 3.0, 1.0);
    EXPECT_EQ(g.num_nodes(), 12);
    ASSERT_EQ(g.num_elements(), 6);
    EXPECT_EQ(g.node(2, 1), 6);
    EXPECT_EQ(g.elements[4], (std::array<long, 4>{5, 6, 10, 9}));
    EXPECT_DOUBLE_EQ(g.nodes[7].x, 3.0);
    EXPECT_DOUBLE_EQ(g.nodes[7].y, 0.5);
    EXPECT_EQ(g.edge_nodes(Edge::Left), (std::vector<long>{0, 4, 8}));
    EXPECT_EQ(g.edge_nodes(Edge::Right), (std::vector<long>{3, 7, 11}));
    EXPECT_EQ(g.edge_nodes(Edge::Bottom), (std::vector<long>{0, 1, 2, 3}));
    EXPECT_EQ(g.edge_nodes(Edge::Top), (std::vector<long>{8, 9, 10, 11}));

    const HexGrid h = make_hex_grid(2, 1.0);  // x, then y, then z
    EXPECT_EQ(h.num_nodes(), 27);
    ASSERT_EQ(h.num_elements(), 8);
    EXPECT_EQ(h.elements[7], (std::array<long, 8>{13, 14, 17, 16, 22, 23, 26, 25}));
    EXPECT_EQ(std::tuple(h.nodes[23].x, h.nodes[23].y, h.nodes[23].z), std::tuple(1.0, 0.5, 1.0));
    EXPECT_EQ(h.face_nodes(Face::XLow), (std::vector<long>{0, 3, 6, 9, 12, 15, 18, 21, 24}));
    EXPECT_EQ(h.face_nodes(Face::ZHigh), (std::vector<long>{18, 19, 20, 21, 22, 23, 24, 25, 26}));
    const auto boundary = h.boundary_nodes();
    EXPECT_EQ(boundary.size(), 26u);  // all but the centre node 13
    EXPECT_EQ(std::count(boundary.begin(), boundary.end(), 13L), 0);
}

// Unit square: K row 0 = (2/3, -1/6, -1/3, -1/6) (adjacent corners -1/6, opposite -1/3).
TEST(FemElements, PoissonUnitSquareAndCubeByHand)
{
    const auto k = q4_poisson({{{0, 0}, {1, 0}, {1, 1}, {0, 1}}}, 1.0);
    const double row0[4] = {2.0 / 3, -1.0 / 6, -1.0 / 3, -1.0 / 6};
    for (int b = 0; b < 4; ++b) EXPECT_NEAR(k[b], row0[b], kTol);
    for (int a = 0; a < 4; ++a) EXPECT_NEAR(k[a * 4 + a], 2.0 / 3, kTol);
    // Unit cube: diagonal 1/3; corners one edge away 0; a face or the body diagonal away -1/12.
    const auto kh = hex8_poisson(make_hex_grid(1, 1.0).corners(0), 1.0);
    const double hexRow0[8] = {1.0 / 3, 0, -1.0 / 12, 0, 0, -1.0 / 12, -1.0 / 12, -1.0 / 12};
    for (int b = 0; b < 8; ++b) EXPECT_NEAR(kh[b], hexRow0[b], kTol);

    // Plane stress, E = 1, t = 1: k(u0, u0) = (1/2 - nu/6) / (1 - nu^2) and k(u0, v0) =
    // (1 + nu) / 8 / (1 - nu^2), the integrals of Hughes sec. 3.9 done by hand.
    const double nu = 0.3, c = 1.0 / (1 - nu * nu);
    const auto ks = q4_plane_stress({{{0, 0}, {1, 0}, {1, 1}, {0, 1}}}, 1.0, nu, 1.0);
    EXPECT_NEAR(ks[0], c * (0.5 - nu / 6), kTol);
    EXPECT_NEAR(ks[1], c * (1 + nu) / 8, kTol);
    EXPECT_NEAR(ks[9], c * (0.5 - nu / 6), kTol);  // (v0, v0)
    expect_symmetric(ks, 8);
}

// Constants lie in the null space of every Laplacian element: each row sums to zero, on
// distorted shapes too.
TEST(FemElements, PoissonRowsSumToZeroAndAreSymmetric)
{
    const auto kq = q4_poisson(kSkewed, 2.5);
    expect_symmetric(kq, 4);
    for (double r : multiply(kq, std::vector<double>(4, 1.0))) EXPECT_NEAR(r, 0.0, kTol * 10);

    HexGrid g = make_hex_grid(1, 2.0);
    g.nodes[6] = {2.3, 2.1, 2.4};  // pull one corner out: a general hexahedron
    const auto kh = hex8_poisson(g.corners(0), 0.7);
    expect_symmetric(kh, 8);
    for (double r : multiply(kh, std::vector<double>(8, 1.0))) EXPECT_NEAR(r, 0.0, kTol * 10);
}

// Two translations and the infinitesimal rotation (-y, x) produce no force; a uniform stretch
// u = x stores the strain energy t * area * E / (1 - nu^2), exactly, because bilinear elements
// reproduce linear fields; so does a linear field on a hexahedron.
TEST(FemElements, RigidModesAndLinearFieldEnergies)
{
    const double E = 210e3, nu = 0.25, t = 0.5;
    const auto k = q4_plane_stress(kSkewed, E, nu, t);
    expect_symmetric(k, 8);
    expect_rigid_modes(k, kSkewed);
    std::vector<double> stretch(8);
    for (int a = 0; a < 4; ++a) stretch[2 * a] = kSkewed[a].x;
    EXPECT_NEAR(energy(k, stretch), t * shoelace_area(kSkewed) * E / (1 - nu * nu), 1e-12 * E);

    // A linear field on one hexahedron stores the energy |grad u|^2 * volume, exactly.
    const Hex p = make_hex_grid(1, 2.0).corners(0);
    std::vector<double> u(8);
    for (int a = 0; a < 8; ++a) u[a] = 3.0 * p[a].x - 1.0 * p[a].z;
    EXPECT_NEAR(energy(hex8_poisson(p, 1.0), u), (9.0 + 1.0) * 8.0, 1e-12 * 80);
}

TEST(FemElements, LoadsIntegrateShapeFunctions)
{
    for (double f : q4_source({{{0, 0}, {2, 0}, {2, 2}, {0, 2}}}, 3.0)) EXPECT_NEAR(f, 3.0, kTol);
    double total = 0.0;
    for (double f : q4_source(kSkewed, 1.0)) total += f;
    EXPECT_NEAR(total, shoelace_area(kSkewed), kTol * 10);
    const HexGrid g = make_hex_grid(1, 2.0);
    for (double f : hex8_source(g.corners(0), 1.0)) EXPECT_NEAR(f, 1.0, kTol);  // 8 / 8
    const auto fe = edge_traction({1, 0}, {1, 2}, 0.0, -4.0, 0.5);
    EXPECT_EQ(fe, (std::array<double, 4>{0.0, -2.0, 0.0, -2.0}));
}

// Patch test (Hughes sec. 3.9): on a mesh of distorted elements a linear field leaves no
// out-of-balance force at any interior node, for the scalar, plane-stress and hexahedral elements.
TEST(FemElements, PatchTestLinearFieldsAreReproduced)
{
    const QuadGrid g = distorted_grid();
    std::vector<double> scalar_force(g.num_nodes(), 0.0), vector_force(2 * g.num_nodes(), 0.0);
    for (long e = 0; e < g.num_elements(); ++e)
    {
        const Quad xy = g.corners(e);
        std::vector<double> us(4), uv(8);
        for (int a = 0; a < 4; ++a)
        {
            us[a] = 1.0 + 2.0 * xy[a].x - 3.0 * xy[a].y;
            uv[2 * a] = 0.1 + 0.02 * xy[a].x + 0.05 * xy[a].y;
            uv[2 * a + 1] = -0.2 + 0.03 * xy[a].x - 0.01 * xy[a].y;
        }
        const auto fs = multiply(q4_poisson(xy, 1.0), us);
        const auto fv = multiply(q4_plane_stress(xy, 100.0, 0.3, 1.0), uv);
        for (int a = 0; a < 4; ++a)
        {
            const long n = g.elements[e][a];
            scalar_force[n] += fs[a];
            vector_force[2 * n] += fv[2 * a];
            vector_force[2 * n + 1] += fv[2 * a + 1];
        }
    }
    for (int j = 1; j <= 2; ++j)
        for (int i = 1; i <= 2; ++i)
        {
            const long n = g.node(i, j);
            EXPECT_NEAR(scalar_force[n], 0.0, 1e-13);
            EXPECT_NEAR(vector_force[2 * n], 0.0, 1e-13);
            EXPECT_NEAR(vector_force[2 * n + 1], 0.0, 1e-13);
        }
    // Hexahedra: the only interior node of a 2 x 2 x 2 grid moved off centre.
    HexGrid h = make_hex_grid(2, 2.0);
    h.nodes[13] = {1.13, 0.91, 1.07};
    std::vector<double> force(h.num_nodes(), 0.0);
    for (long e = 0; e < h.num_elements(); ++e)
    {
        const Hex p = h.corners(e);
        std::vector<double> u(8);
        for (int a = 0; a < 8; ++a) u[a] = 0.5 - p[a].x + 2.0 * p[a].y + 0.25 * p[a].z;
        const auto f = multiply(hex8_poisson(p, 1.0), u);
        for (int a = 0; a < 8; ++a) force[h.elements[e][a]] += f[a];
    }
    EXPECT_NEAR(force[13], 0.0, 1e-13);
}

// The unit right triangle: K = 1/2 [[2, -1, -1], [-1, 1, 0], [-1, 0, 1]], source s A / 3 each.
// On a skewed triangle the plane-stress matrix has the three rigid modes as null space and stores
// t A E / (2 (1 + nu)) for the shear u = y (gamma_xy = 1): the element is exact for linear fields.
TEST(FemElements, TriangleByHandRigidModesAndShearEnergy)
{
    const auto kp = t3_poisson({{{0, 0}, {1, 0}, {0, 1}}}, 2.0);
    const double expected[9] = {2, -1, -1, -1, 1, 0, -1, 0, 1};
    for (int q = 0; q < 9; ++q) EXPECT_NEAR(kp[q], expected[q], kTol) << q;
    EXPECT_NEAR(t3_source({{{0, 0}, {1, 0}, {0, 1}}}, 6.0)[2], 1.0, kTol);

    const Tri tri = {{{0.2, -0.1}, {2.1, 0.4}, {0.7, 1.6}}};
    const double E = 210e3, nu = 0.3, t = 0.5;
    const auto k = t3_plane_stress(tri, E, nu, t);
    expect_symmetric(k, 6);
    expect_rigid_modes(k, tri);
    std::vector<double> shear(6);
    for (int a = 0; a < 3; ++a) shear[2 * a] = tri[a].y;
    EXPECT_NEAR(energy(k, shear), t * shoelace_area(tri) * E / (2 * (1 + nu)), 1e-12 * E);
}

namespace
{

// A linear field u(x) = u0 + G x sampled at the corners, laid out 3a + c.
template <class Corners>
std::vector<double> linear_field(const Corners& p, const double u0[3], const double G[3][3])
{
    std::vector<double> u(3 * p.size());
    for (std::size_t a = 0; a < p.size(); ++a)
    {
        const double x[3] = {p[a].x, p[a].y, p[a].z};
        for (int c = 0; c < 3; ++c)
            u[3 * a + c] = u0[c] + G[c][0] * x[0] + G[c][1] * x[1] + G[c][2] * x[2];
    }
    return u;
}

// Strain energy density eps : sigma of the uniform strain eps = (G + G^T) / 2, sigma =
// lambda tr(eps) I + 2 mu eps, in tensor form (no Voigt vectors).
double energy_density(const double G[3][3], double E, double nu)
{
    const double lambda = E * nu / ((1 + nu) * (1 - 2 * nu)), mu = E / (2 * (1 + nu));
    const double trace = G[0][0] + G[1][1] + G[2][2];
    double eps_eps = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) eps_eps += std::pow(0.5 * (G[i][j] + G[j][i]), 2);
    return lambda * trace * trace + 2 * mu * eps_eps;
}

// A 2 x 2 x 2 grid on [0, 2]^3 whose only interior node (13) is moved off centre.
HexGrid distorted_box()
{
    HexGrid h = make_hex_grid(2, 2.0);
    h.nodes[13] = {1.13, 0.91, 1.07};
    return h;
}

// A hexahedron cut into six tetrahedra around its diagonal 0-6 (conforming between neighbours
// numbered alike): corner numbers, turned to positive volume.
std::vector<std::array<int, 4>> kuhn_tets(const Hex& h)
{
    std::vector<std::array<int, 4>> out = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                                           {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};
    for (auto& t : out)
        if (tet4_volume({h[t[0]], h[t[1]], h[t[2]], h[t[3]]}) < 0) std::swap(t[2], t[3]);
    return out;
}

const double kE = 210e3, kNu = 0.3;
const double kShift[3] = {0.3, -0.2, 0.1};
const double kGeneral[3][3] = {{0.02, -0.01, 0.03}, {0.04, -0.02, 0.01}, {-0.03, 0.05, 0.01}};

}  // namespace

// Hex8 on a pulled-out hexahedron and Tet4 on a skewed tetrahedron: symmetric; the three
// translations and three rotations produce no force; a general linear field stores the energy
// V eps : sigma of the continuum, computed here in tensor form.
TEST(FemElements, SolidsRigidModesAndLinearFieldEnergy)
{
    HexGrid g = make_hex_grid(1, 2.0);
    g.nodes[6] = {2.3, 2.1, 2.4};  // pull one corner out: a general hexahedron
    const Hex hex = g.corners(0);
    double hexVolume = 0.0;  // the integral of det J, which the source load sums
    for (double f : hex8_source(hex, 1.0)) hexVolume += f;
    const Tet tet = {{{0.1, 0.0, 0.2}, {1.9, 0.3, -0.1}, {0.4, 1.7, 0.3}, {0.2, 0.5, 1.4}}};
    struct Case
    {
        const char* name;
        std::vector<Point3> corners;
        std::vector<double> K;
        double volume;
    };
    const auto hk = hex8_elasticity(hex, kE, kNu);
    const auto tk = tet4_elasticity(tet, kE, kNu);
    const Case cases[] = {
        {"tet4", {tet.begin(), tet.end()}, {tk.begin(), tk.end()}, tet4_volume(tet)},
        {"hex8", {hex.begin(), hex.end()}, {hk.begin(), hk.end()}, hexVolume}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::size_t n = c.corners.size() * 3;
        double scale = 0.0;
        for (double v : c.K) scale = std::max(scale, std::fabs(v));
        const auto Ku = [&](const std::vector<double>& u)
        {
            std::vector<double> f(n, 0.0);
            for (std::size_t a = 0; a < n; ++a)
                for (std::size_t b = 0; b < n; ++b) f[a] += c.K[a * n + b] * u[b];
            return f;
        };
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < a; ++b)
                EXPECT_NEAR(c.K[a * n + b], c.K[b * n + a], kTol * scale);
        for (int m = 0; m < 6; ++m)  // m < 3: translation along m; else rotation about m - 3
        {
            double u0[3] = {0, 0, 0}, W[3][3] = {};
            if (m < 3)
                u0[m] = 1.0;
            else
            {
                const int i = (m - 3 + 1) % 3, j = (m - 3 + 2) % 3;
                W[i][j] = -1.0, W[j][i] = 1.0;
            }
            for (double f : Ku(linear_field(c.corners, u0, W)))
                EXPECT_NEAR(f, 0.0, 1e-12 * scale) << m;
        }
        const std::vector<double> u = linear_field(c.corners, kShift, kGeneral);
        const std::vector<double> f = Ku(u);
        const double uKu = std::inner_product(u.begin(), u.end(), f.begin(), 0.0);
        const double expected = c.volume * energy_density(kGeneral, kE, kNu);
        EXPECT_NEAR(uKu, expected, 1e-12 * expected * n);
    }
}

// Patch test (Hughes sec. 3.9) in three dimensions: a general linear field on the distorted
// 2 x 2 x 2 grid, as hexahedra and cut into tetrahedra, leaves no force at the interior node.
TEST(FemElements, SolidPatchTestLinearFieldIsReproduced)
{
    const HexGrid h = distorted_box();
    std::vector<double> hexForce(3 * h.num_nodes(), 0.0), tetForce(3 * h.num_nodes(), 0.0);
    for (long e = 0; e < h.num_elements(); ++e)
    {
        const Hex p = h.corners(e);
        const auto& nodes = h.elements[e];
        const auto u = linear_field(p, kShift, kGeneral);
        const auto K = hex8_elasticity(p, kE, kNu);
        for (int a = 0; a < 24; ++a)
            for (int b = 0; b < 24; ++b) hexForce[3 * nodes[a / 3] + a % 3] += K[a * 24 + b] * u[b];
        for (const auto& corner : kuhn_tets(p))
        {
            const Tet t = {p[corner[0]], p[corner[1]], p[corner[2]], p[corner[3]]};
            const auto Kt = tet4_elasticity(t, kE, kNu);
            const auto ut = linear_field(t, kShift, kGeneral);
            for (int a = 0; a < 12; ++a)
                for (int b = 0; b < 12; ++b)
                    tetForce[3 * nodes[corner[a / 3]] + a % 3] += Kt[a * 12 + b] * ut[b];
        }
    }
    for (int c = 0; c < 3; ++c)
    {
        EXPECT_NEAR(hexForce[3 * 13 + c], 0.0, 1e-9 * kE);
        EXPECT_NEAR(tetForce[3 * 13 + c], 0.0, 1e-9 * kE);
    }
}

// Face tractions: the resultant t A over a skewed quadrilateral, t A / 3 per triangle corner.
TEST(FemElements, FaceTractionsShareTheResultant)
{
    const Point3 t = {1.0, -2.0, 3.0};
    const auto tri = tri_face_traction({{{0, 0, 0}, {2, 0, 0}, {0, 3, 0}}}, t);
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(tri[3 * a + 1], -2.0 * 3.0 / 3, kTol);
    // A planar quadrilateral in z = x: area = 2 * 2 * sqrt(2) (a square sheared out of plane).
    const auto quad = quad_face_traction({{{0, 0, 0}, {2, 0, 2}, {2, 2, 2}, {0, 2, 0}}}, t);
    double sum[3] = {};
    for (int q = 0; q < 12; ++q) sum[q % 3] += quad[q];
    EXPECT_NEAR(sum[2], 3.0 * 4.0 * std::sqrt(2.0), kTol * 20);
    EXPECT_NEAR(quad[0], quad[3], kTol);  // a parallelogram shares it equally
}
