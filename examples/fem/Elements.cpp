// Isoparametric bilinear and trilinear elements (layout and quadrature in Elements.h).
#include "fem/Elements.h"

#include <cmath>

namespace tarvel_fem
{
namespace
{

const double kGauss = 1.0 / std::sqrt(3.0);  // 2-point Gauss-Legendre abscissa, weight 1

// Reference corner signs of G3: corner a sits at (xi_a, eta_a) (, zeta_a).
constexpr double kXi[8] = {-1, 1, 1, -1, -1, 1, 1, -1};
constexpr double kEta[8] = {-1, -1, 1, 1, -1, -1, 1, 1};
constexpr double kZeta[8] = {-1, -1, -1, -1, 1, 1, 1, 1};

// Shape functions and their physical gradients at (xi, eta) of a quadrilateral:
// N_a = (1 + xi xi_a)(1 + eta eta_a) / 4; grad N = J^-T grad_ref N; returns det J.
double q4_at(const Quad& xy, double xi, double eta, double N[4], double dNdx[4], double dNdy[4])
{
    double dxi[4], deta[4];
    for (int a = 0; a < 4; ++a)
    {
        N[a] = 0.25 * (1 + xi * kXi[a]) * (1 + eta * kEta[a]);
        dxi[a] = 0.25 * kXi[a] * (1 + eta * kEta[a]);
        deta[a] = 0.25 * kEta[a] * (1 + xi * kXi[a]);
    }
    double j11 = 0, j12 = 0, j21 = 0, j22 = 0;  // J = d(x, y) / d(xi, eta)
    for (int a = 0; a < 4; ++a)
    {
        j11 += dxi[a] * xy[a].x;
        j12 += dxi[a] * xy[a].y;
        j21 += deta[a] * xy[a].x;
        j22 += deta[a] * xy[a].y;
    }
    const double det = j11 * j22 - j12 * j21;
    for (int a = 0; a < 4; ++a)
    {
        dNdx[a] = (j22 * dxi[a] - j12 * deta[a]) / det;
        dNdy[a] = (-j21 * dxi[a] + j11 * deta[a]) / det;
    }
    return det;
}

// The same for a hexahedron: N_a = (1 + xi xi_a)(1 + eta eta_a)(1 + zeta zeta_a) / 8.
double hex8_at(const Hex& p, const double r[3], double N[8], double dN[8][3])
{
    double dref[8][3];
    for (int a = 0; a < 8; ++a)
    {
        const double fx = 1 + r[0] * kXi[a], fy = 1 + r[1] * kEta[a], fz = 1 + r[2] * kZeta[a];
        N[a] = 0.125 * fx * fy * fz;
        dref[a][0] = 0.125 * kXi[a] * fy * fz;
        dref[a][1] = 0.125 * kEta[a] * fx * fz;
        dref[a][2] = 0.125 * kZeta[a] * fx * fy;
    }
    double J[3][3] = {};  // J[r][c] = d x_c / d ref_r
    for (int a = 0; a < 8; ++a)
    {
        const double x[3] = {p[a].x, p[a].y, p[a].z};
        for (int rr = 0; rr < 3; ++rr)
            for (int c = 0; c < 3; ++c) J[rr][c] += dref[a][rr] * x[c];
    }
    const double det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
                       J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                       J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
    double inv[3][3];  // J^-1 by cofactors
    inv[0][0] = (J[1][1] * J[2][2] - J[1][2] * J[2][1]) / det;
    inv[0][1] = (J[0][2] * J[2][1] - J[0][1] * J[2][2]) / det;
    inv[0][2] = (J[0][1] * J[1][2] - J[0][2] * J[1][1]) / det;
    inv[1][0] = (J[1][2] * J[2][0] - J[1][0] * J[2][2]) / det;
    inv[1][1] = (J[0][0] * J[2][2] - J[0][2] * J[2][0]) / det;
    inv[1][2] = (J[0][2] * J[1][0] - J[0][0] * J[1][2]) / det;
    inv[2][0] = (J[1][0] * J[2][1] - J[1][1] * J[2][0]) / det;
    inv[2][1] = (J[0][1] * J[2][0] - J[0][0] * J[2][1]) / det;
    inv[2][2] = (J[0][0] * J[1][1] - J[0][1] * J[1][0]) / det;
    for (int a = 0; a < 8; ++a)
        for (int c = 0; c < 3; ++c)  // d N / d x_c = sum_r (J^-1)[c][r] d N / d ref_r
            dN[a][c] = inv[c][0] * dref[a][0] + inv[c][1] * dref[a][1] + inv[c][2] * dref[a][2];
    return det;
}

// Constant gradients of the linear triangle: dNdx[a] = b_a / 2A, dNdy[a] = c_a / 2A; returns A.
double t3_gradients(const Tri& xy, double dNdx[3], double dNdy[3])
{
    const double twiceArea =
        (xy[1].x - xy[0].x) * (xy[2].y - xy[0].y) - (xy[2].x - xy[0].x) * (xy[1].y - xy[0].y);
    for (int a = 0; a < 3; ++a)
    {
        const Point2& p = xy[(a + 1) % 3];
        const Point2& q = xy[(a + 2) % 3];
        dNdx[a] = (p.y - q.y) / twiceArea;
        dNdy[a] = (q.x - p.x) / twiceArea;
    }
    return 0.5 * twiceArea;
}

}  // namespace

std::array<double, 16> q4_poisson(const Quad& xy, double conductivity)
{
    std::array<double, 16> k{};
    double N[4], dx[4], dy[4];
    for (double xi : {-kGauss, kGauss})
        for (double eta : {-kGauss, kGauss})
        {
            const double w = conductivity * q4_at(xy, xi, eta, N, dx, dy);
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b) k[a * 4 + b] += w * (dx[a] * dx[b] + dy[a] * dy[b]);
        }
    return k;
}

std::array<double, 64> q4_plane_stress(const Quad& xy, double young, double poisson,
                                       double thickness)
{
    const double c = young / (1.0 - poisson * poisson);
    const double d11 = c, d12 = c * poisson, d33 = c * 0.5 * (1.0 - poisson);
    std::array<double, 64> k{};
    double N[4], dx[4], dy[4];
    for (double xi : {-kGauss, kGauss})
        for (double eta : {-kGauss, kGauss})
        {
            const double w = thickness * q4_at(xy, xi, eta, N, dx, dy);
            // B columns of corner a: u_a -> (dx, 0, dy), v_a -> (0, dy, dx).
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b)
                {
                    double* ka = &k[(2 * a) * 8 + 2 * b];
                    ka[0] += w * (dx[a] * d11 * dx[b] + dy[a] * d33 * dy[b]);  // (u_a, u_b)
                    ka[1] += w * (dx[a] * d12 * dy[b] + dy[a] * d33 * dx[b]);  // (u_a, v_b)
                    ka[8] += w * (dy[a] * d12 * dx[b] + dx[a] * d33 * dy[b]);  // (v_a, u_b)
                    ka[9] += w * (dy[a] * d11 * dy[b] + dx[a] * d33 * dx[b]);  // (v_a, v_b)
                }
        }
    return k;
}

std::array<double, 9> t3_poisson(const Tri& xy, double conductivity)
{
    double dx[3], dy[3];
    const double w = conductivity * t3_gradients(xy, dx, dy);
    std::array<double, 9> k{};
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) k[a * 3 + b] = w * (dx[a] * dx[b] + dy[a] * dy[b]);
    return k;
}

std::array<double, 36> t3_plane_stress(const Tri& xy, double young, double poisson,
                                       double thickness)
{
    const double c = young / (1.0 - poisson * poisson);
    const double d11 = c, d12 = c * poisson, d33 = c * 0.5 * (1.0 - poisson);
    double dx[3], dy[3];
    const double w = thickness * t3_gradients(xy, dx, dy);
    std::array<double, 36> k{};
    for (int a = 0; a < 3; ++a)  // the B columns of q4_plane_stress, one point of weight A
        for (int b = 0; b < 3; ++b)
        {
            double* ka = &k[(2 * a) * 6 + 2 * b];
            ka[0] = w * (dx[a] * d11 * dx[b] + dy[a] * d33 * dy[b]);  // (u_a, u_b)
            ka[1] = w * (dx[a] * d12 * dy[b] + dy[a] * d33 * dx[b]);  // (u_a, v_b)
            ka[6] = w * (dy[a] * d12 * dx[b] + dx[a] * d33 * dy[b]);  // (v_a, u_b)
            ka[7] = w * (dy[a] * d11 * dy[b] + dx[a] * d33 * dx[b]);  // (v_a, v_b)
        }
    return k;
}

std::array<double, 64> hex8_poisson(const Hex& xyz, double conductivity)
{
    std::array<double, 64> k{};
    double N[8], dN[8][3];
    for (double a0 : {-kGauss, kGauss})
        for (double a1 : {-kGauss, kGauss})
            for (double a2 : {-kGauss, kGauss})
            {
                const double r[3] = {a0, a1, a2};
                const double w = conductivity * hex8_at(xyz, r, N, dN);
                for (int a = 0; a < 8; ++a)
                    for (int b = 0; b < 8; ++b)
                        k[a * 8 + b] +=
                            w * (dN[a][0] * dN[b][0] + dN[a][1] * dN[b][1] + dN[a][2] * dN[b][2]);
            }
    return k;
}

std::array<double, 4> q4_source(const Quad& xy, double source)
{
    std::array<double, 4> f{};
    double N[4], dx[4], dy[4];
    for (double xi : {-kGauss, kGauss})
        for (double eta : {-kGauss, kGauss})
        {
            const double w = source * q4_at(xy, xi, eta, N, dx, dy);
            for (int a = 0; a < 4; ++a) f[a] += w * N[a];
        }
    return f;
}

std::array<double, 8> hex8_source(const Hex& xyz, double source)
{
    std::array<double, 8> f{};
    double N[8], dN[8][3];
    for (double a0 : {-kGauss, kGauss})
        for (double a1 : {-kGauss, kGauss})
            for (double a2 : {-kGauss, kGauss})
            {
                const double r[3] = {a0, a1, a2};
                const double w = source * hex8_at(xyz, r, N, dN);
                for (int a = 0; a < 8; ++a) f[a] += w * N[a];
            }
    return f;
}

std::array<double, 3> t3_source(const Tri& xy, double source)
{
    double dx[3], dy[3];
    const double share = source * t3_gradients(xy, dx, dy) / 3.0;  // integral of N_a is A / 3
    return {share, share, share};
}

std::array<double, 4> edge_traction(Point2 a, Point2 b, double tx, double ty, double thickness)
{
    // Linear shape functions along the edge integrate to length / 2 each.
    const double half = 0.5 * thickness * std::hypot(b.x - a.x, b.y - a.y);
    return {half * tx, half * ty, half * tx, half * ty};
}

}  // namespace tarvel_fem
