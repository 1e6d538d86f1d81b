// Element matrices of the finite-element model against the continuum: symmetry, the rigid motions
// in the null space, the energy of a linear field, the patch test on distorted meshes (Hughes
// sec. 3.9), and entries worked by hand.
#include "fem/Elements.h"
#include "fem/Mesh.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace tarvel_fem;

namespace
{

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kE = 210e3, kNu = 0.3;
const double kShift[3] = {0.3, -0.2, 0.1};
const double kGrad[3][3] = {{0.02, -0.01, 0.03}, {0.04, -0.02, 0.01}, {-0.03, 0.05, 0.01}};

// An element matrix, its corners (z = 0 in the plane), its DOFs per node (1: a scalar field of
// unit conductivity, 2: plane stress of unit thickness, 3: a solid) and its corners' node numbers
// in a patch.
struct Element
{
    std::vector<Point3> corners;
    int dpn;
    std::vector<double> K;
    std::vector<long> nodes = {};
};

Point3 lift(const Point2& p) { return {p.x, p.y, 0.0}; }
Point3 lift(const Point3& p) { return p; }

template <class Corners, std::size_t N>
Element element(const Corners& c, int dpn, const std::array<double, N>& K)
{
    Element e{{}, dpn, {K.begin(), K.end()}};
    for (const auto& p : c) e.corners.push_back(lift(p));
    return e;
}

// The linear field u0 + G x at the corners, element DOF dpn a + c.
std::vector<double> field(const Element& el, const double u0[3], const double G[3][3])
{
    std::vector<double> u;
    for (const Point3& p : el.corners)
        for (int c = 0; c < el.dpn; ++c)
            u.push_back(u0[c] + G[c][0] * p.x + G[c][1] * p.y + G[c][2] * p.z);
    return u;
}

std::vector<double> times(const Element& el, const std::vector<double>& u)
{
    const std::size_t n = u.size();
    std::vector<double> f(n, 0.0);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) f[a] += el.K[a * n + b] * u[b];
    return f;
}

// eps : sigma of the uniform gradient G in tensor form: |grad u|^2 for the scalar field (in the
// plane but for the hexahedron, the one scalar solid element); for elasticity
// lambda tr(eps)^2 + 2 mu eps : eps, with plane stress's lambda = E nu / (1 - nu^2).
double energy_density(const Element& el, const double G[3][3])
{
    const int dpn = el.dpn;
    if (dpn == 1)
        return G[0][0] * G[0][0] + G[0][1] * G[0][1] +
               (el.corners.size() == 8 ? G[0][2] * G[0][2] : 0.0);
    const double mu = kE / (2 * (1 + kNu));
    const double lambda =
        dpn == 3 ? kE * kNu / ((1 + kNu) * (1 - 2 * kNu)) : kE * kNu / (1 - kNu * kNu);
    double trace = 0.0, ee = 0.0;
    for (int i = 0; i < dpn; ++i)
    {
        trace += G[i][i];
        for (int j = 0; j < dpn; ++j) ee += std::pow(0.5 * (G[i][j] + G[j][i]), 2);
    }
    return lambda * trace * trace + 2 * mu * ee;
}

double largest(const std::vector<double>& v)
{
    return std::fabs(*std::max_element(
        v.begin(), v.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); }));
}

// Each entry of K sums a few products per quadrature point and K u sums n entries: rounding of
// about n^2 eps relative to the largest term.
double bound(const Element& el, const std::vector<double>& u)
{
    return static_cast<double>(el.K.size()) * kEps * largest(el.K) * std::max(1.0, largest(u));
}

const Quad kSkewed = {{{0.0, 0.0}, {2.0, 0.3}, {2.4, 1.9}, {-0.2, 1.2}}};
const Tri kTri = {{{0.2, -0.1}, {2.1, 0.4}, {0.7, 1.6}}};
const double kSkewedArea = 6.34 / 2, kTriArea = 2.98 / 2;  // the shoelace formula, by hand
const Tet kTet = {{{0.1, 0.0, 0.2}, {1.9, 0.3, -0.1}, {0.4, 1.7, 0.3}, {0.2, 0.5, 1.4}}};
const double kTetVolume = 3.483 / 6;  // the triple product of the edges from corner 0, by hand

// The six tetrahedra around the diagonal 0-6 of a hexahedron (conforming between neighbours
// numbered alike), as corner numbers.
const std::array<std::array<int, 4>, 6> kKuhn = {
    {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6}, {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}}};

}  // namespace

// Every element: symmetric; the rigid motions (constants of the scalar field; translations and
// rotations of elasticity) produce no force; a general linear field stores the energy measure x
// eps : sigma of the continuum, exactly, since the elements reproduce linear fields.
TEST(FemElements, NullSpacesAndLinearFieldEnergies)
{
    HexGrid pulled = make_hex_grid(1, 2.0);
    pulled.nodes[6] = {2.3, 2.1, 2.4};  // one corner pulled out: no face is plane
    const Hex hex = pulled.corners(0);
    double hexVolume = 0.0;  // the integral of det J, which the unit source sums
    for (double f : hex8_source(hex, 1.0)) hexVolume += f;
    const std::pair<Element, double> cases[] = {
        {element(kSkewed, 1, q4_poisson(kSkewed)), kSkewedArea},
        {element(kSkewed, 2, q4_plane_stress(kSkewed, kE, kNu, 1.0)), kSkewedArea},
        {element(kTri, 1, t3_poisson(kTri)), kTriArea},
        {element(kTri, 2, t3_plane_stress(kTri, kE, kNu, 1.0)), kTriArea},
        {element(hex, 1, hex8_poisson(hex)), hexVolume},
        {element(hex, 3, hex8_elasticity(hex, kE, kNu)), hexVolume},
        {element(kTet, 3, tet4_elasticity(kTet, kE, kNu)), kTetVolume},
    };
    for (const auto& [el, measure] : cases)
    {
        const std::size_t n = el.corners.size() * el.dpn;
        SCOPED_TRACE(testing::Message() << el.corners.size() << " corners, " << el.dpn << " DOFs");
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < a; ++b)
                EXPECT_NEAR(el.K[a * n + b], el.K[b * n + a], bound(el, {1.0}));
        for (int m = 0; m < 6; ++m)  // translation along m, or rotation about axis m - 3
        {
            if (m < 3 ? m >= el.dpn : el.dpn == 1) continue;
            double u0[3] = {0, 0, 0}, W[3][3] = {};
            if (m < 3)
                u0[m] = 1.0;
            else
                W[(m - 2) % 3][(m - 1) % 3] = -1.0, W[(m - 1) % 3][(m - 2) % 3] = 1.0;
            const auto u = field(el, u0, W);
            for (double f : times(el, u)) EXPECT_NEAR(f, 0.0, bound(el, u)) << "mode " << m;
        }
        const auto u = field(el, kShift, kGrad);
        const auto f = times(el, u);
        double uKu = 0.0;
        for (std::size_t a = 0; a < n; ++a) uKu += u[a] * f[a];
        EXPECT_NEAR(uKu, measure * energy_density(el, kGrad), bound(el, u) * largest(u));
    }
}

// Patch test: on meshes of distorted elements a linear field leaves no out-of-balance force at
// the interior nodes: quadrilaterals (scalar, plane stress) on a 3 x 3 grid with its four interior
// nodes moved, hexahedra (scalar, solid) and tetrahedra on a 2 x 2 x 2 grid with its centre moved.
TEST(FemElements, PatchTestReproducesLinearFields)
{
    QuadGrid q = make_quad_grid(3, 3, 3.0, 3.0);
    const double shift[4][2] = {{0.21, -0.13}, {-0.17, 0.11}, {0.09, 0.23}, {-0.25, -0.07}};
    for (int s = 0; s < 4; ++s)
    {
        Point2& p = q.nodes[q.node(1 + s % 2, 1 + s / 2)];
        p = {p.x + shift[s][0], p.y + shift[s][1]};
    }
    HexGrid h = make_hex_grid(2, 2.0);
    h.nodes[13] = {1.13, 0.91, 1.07};
    struct Patch
    {
        std::vector<Element> elements;
        std::vector<long> interior = {13};
    } patches[5];
    const auto add = [&patches](int k, Element el, const auto& nodes)
    {
        el.nodes.assign(nodes.begin(), nodes.end());
        patches[k].elements.push_back(el);
    };
    for (long e = 0; e < q.num_elements(); ++e)
    {
        const Quad c = q.corners(e);
        add(0, element(c, 1, q4_poisson(c)), q.elements[e]);
        add(1, element(c, 2, q4_plane_stress(c, kE, kNu, 1.0)), q.elements[e]);
    }
    patches[0].interior = {q.node(1, 1), q.node(2, 1), q.node(1, 2), q.node(2, 2)};
    patches[1].interior = patches[0].interior;
    for (long e = 0; e < h.num_elements(); ++e)
    {
        const Hex c = h.corners(e);
        const auto& n = h.elements[e];
        add(2, element(c, 1, hex8_poisson(c)), n);
        add(3, element(c, 3, hex8_elasticity(c, kE, kNu)), n);
        for (auto t : kKuhn)
        {
            Tet tet = {c[t[0]], c[t[1]], c[t[2]], c[t[3]]};
            if (tet4_volume(tet) < 0) std::swap(t[2], t[3]), std::swap(tet[2], tet[3]);
            add(4, element(tet, 3, tet4_elasticity(tet, kE, kNu)),
                std::vector<long>{n[t[0]], n[t[1]], n[t[2]], n[t[3]]});
        }
    }
    for (const Patch& patch : patches)
    {
        const int dpn = patch.elements[0].dpn;
        std::vector<double> force(3 * 64, 0.0);
        double tolerance = 0.0;
        for (const Element& el : patch.elements)
        {
            const auto u = field(el, kShift, kGrad);
            const auto f = times(el, u);
            for (std::size_t a = 0; a < f.size(); ++a)
                force[dpn * el.nodes[a / dpn] + a % dpn] += f[a];
            tolerance += bound(el, u);
        }
        for (long node : patch.interior)
            for (int c = 0; c < dpn; ++c)
                EXPECT_NEAR(force[dpn * node + c], 0.0, tolerance) << dpn << " DOFs, node " << node;
    }
}

// Entries worked by hand on unit shapes: they fix the quadrature, which the linear fields above
// cannot tell from a single point.
TEST(FemElements, EntriesByHand)
{
    const Quad unit = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    const auto kq = q4_poisson(unit);
    const auto kh = hex8_poisson(make_hex_grid(1, 1.0).corners(0));
    const auto ks = q4_plane_stress(unit, 1.0, kNu, 1.0);  // Hughes sec. 3.9, E = 1
    const auto kt = t3_poisson({{{0, 0}, {1, 0}, {0, 1}}}, 2.0);
    const double c = 1.0 / (1 - kNu * kNu);
    // Row 0 of each: the unit square (adjacent corners -1/6, opposite -1/3), the unit cube (an
    // edge away 0, a face or the body diagonal away -1/12), plane stress (u0, u0), (u0, v0) and
    // (v0, v0), and the whole of the unit right triangle's matrix.
    const std::vector<std::pair<std::vector<double>, std::vector<double>>> cases = {
        {{kq[0], kq[1], kq[2], kq[3]}, {2.0 / 3, -1.0 / 6, -1.0 / 3, -1.0 / 6}},
        {{kh.begin(), kh.begin() + 8},
         {1.0 / 3, 0, -1.0 / 12, 0, 0, -1.0 / 12, -1.0 / 12, -1.0 / 12}},
        {{ks[0], ks[1], ks[9]}, {c * (0.5 - kNu / 6), c * (1 + kNu) / 8, c * (0.5 - kNu / 6)}},
        {{kt.begin(), kt.end()}, {2, -1, -1, -1, 1, 0, -1, 0, 1}}};
    for (const auto& [got, want] : cases)
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_NEAR(got[i], want[i], 64 * kEps) << i << " of " << want.size();
}
