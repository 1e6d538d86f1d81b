// Isoparametric bilinear and trilinear elements (layout and quadrature in Elements.h).
#include "fem/Elements.h"

#include <tarvel/Tarvel.h>

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

// J^-1 by cofactors into inv; returns det J.
double invert3(const double J[3][3], double inv[3][3])
{
    const double det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
                       J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                       J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
    inv[0][0] = (J[1][1] * J[2][2] - J[1][2] * J[2][1]) / det;
    inv[0][1] = (J[0][2] * J[2][1] - J[0][1] * J[2][2]) / det;
    inv[0][2] = (J[0][1] * J[1][2] - J[0][2] * J[1][1]) / det;
    inv[1][0] = (J[1][2] * J[2][0] - J[1][0] * J[2][2]) / det;
    inv[1][1] = (J[0][0] * J[2][2] - J[0][2] * J[2][0]) / det;
    inv[1][2] = (J[0][2] * J[1][0] - J[0][0] * J[1][2]) / det;
    inv[2][0] = (J[1][0] * J[2][1] - J[1][1] * J[2][0]) / det;
    inv[2][1] = (J[0][1] * J[2][0] - J[0][0] * J[2][1]) / det;
    inv[2][2] = (J[0][0] * J[1][1] - J[0][1] * J[1][0]) / det;
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
    double inv[3][3];
    const double det = invert3(J, inv);
    for (int a = 0; a < 8; ++a)
        for (int c = 0; c < 3; ++c)  // d N / d x_c = sum_r (J^-1)[c][r] d N / d ref_r
            dN[a][c] = inv[c][0] * dref[a][0] + inv[c][1] * dref[a][1] + inv[c][2] * dref[a][2];
    return det;
}

// The isotropic D of Elements.h, 6 x 6.
CMatrix elasticity_matrix(double young, double poisson)
{
    const double lambda = young * poisson / ((1 + poisson) * (1 - 2 * poisson));
    const double mu = young / (2 * (1 + poisson));
    CMatrix D(6, 6, true, 0.0);
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j) D(i, j) = lambda;
        D(i, i) += 2 * mu;
        D(i + 3, i + 3) = mu;
    }
    return D;
}

// K += w B^T D B at one point, from the physical gradients dN of the element's corners.
// B^T's rows for corner a: u_a -> (dx, 0, 0, dy, 0, dz), v_a -> (0, dy, 0, dx, dz, 0),
// w_a -> (0, 0, dz, 0, dy, dx), in the strain order of Elements.h.
template <int Corners> void add_btdb(CMatrix& K, const CMatrix& D, const double (*dN)[3], double w)
{
    CMatrix Bt(3 * Corners, 6, true, 0.0);
    for (int a = 0; a < Corners; ++a)
    {
        const double dx = dN[a][0], dy = dN[a][1], dz = dN[a][2];
        double* u = Bt[3 * a];
        double* v = Bt[3 * a + 1];
        double* z = Bt[3 * a + 2];
        u[0] = dx, u[3] = dy, u[5] = dz;
        v[1] = dy, v[3] = dx, v[4] = dz;
        z[2] = dz, z[4] = dy, z[5] = dx;
    }
    CMatrix BtDB(D);
    BtDB.PostPreMult(Bt, 0);  // Bt D Bt^T, 3k x 3k
    BtDB *= w;
    K += BtDB;
}

template <std::size_t N> std::array<double, N> to_array(const CVector& m)
{
    std::array<double, N> out{};
    std::copy(m.m_pData, m.m_pData + N, out.begin());
    return out;
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

std::array<double, 576> hex8_elasticity(const Hex& xyz, double young, double poisson)
{
    const CMatrix D = elasticity_matrix(young, poisson);
    CMatrix K(24, 24, true, 0.0);
    double N[8], dN[8][3];
    for (double a0 : {-kGauss, kGauss})
        for (double a1 : {-kGauss, kGauss})
            for (double a2 : {-kGauss, kGauss})
            {
                const double r[3] = {a0, a1, a2};
                const double det = hex8_at(xyz, r, N, dN);
                add_btdb<8>(K, D, dN, det);
            }
    return to_array<576>(K);
}

std::array<double, 8> hex8_corner_jacobians(const Hex& xyz)
{
    std::array<double, 8> det{};
    double N[8], dN[8][3];
    for (int a = 0; a < 8; ++a)
    {
        const double r[3] = {kXi[a], kEta[a], kZeta[a]};
        det[a] = hex8_at(xyz, r, N, dN);
    }
    return det;
}

double tet4_volume(const Tet& p)
{
    const double J[3][3] = {{p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z},
                            {p[2].x - p[0].x, p[2].y - p[0].y, p[2].z - p[0].z},
                            {p[3].x - p[0].x, p[3].y - p[0].y, p[3].z - p[0].z}};
    double inv[3][3];
    return invert3(J, inv) / 6.0;
}

std::array<double, 144> tet4_elasticity(const Tet& p, double young, double poisson)
{
    // N_1..3 are the reference coordinates, N_0 = 1 - their sum; J[r] = p_{r+1} - p_0.
    const double J[3][3] = {{p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z},
                            {p[2].x - p[0].x, p[2].y - p[0].y, p[2].z - p[0].z},
                            {p[3].x - p[0].x, p[3].y - p[0].y, p[3].z - p[0].z}};
    double inv[3][3];
    const double det = invert3(J, inv);
    double dN[4][3];
    for (int c = 0; c < 3; ++c)  // d N_{r+1} / d x_c = (J^-1)[c][r]
    {
        dN[0][c] = -(inv[c][0] + inv[c][1] + inv[c][2]);
        for (int r = 0; r < 3; ++r) dN[r + 1][c] = inv[c][r];
    }
    CMatrix K(12, 12, true, 0.0);
    add_btdb<4>(K, elasticity_matrix(young, poisson), dN, det / 6.0);
    return to_array<144>(K);
}

std::array<double, 9> tri_face_traction(const std::array<Point3, 3>& f, Point3 t)
{
    const double ux = f[1].x - f[0].x, uy = f[1].y - f[0].y, uz = f[1].z - f[0].z;
    const double vx = f[2].x - f[0].x, vy = f[2].y - f[0].y, vz = f[2].z - f[0].z;
    const double area = 0.5 * std::sqrt((uy * vz - uz * vy) * (uy * vz - uz * vy) +
                                        (uz * vx - ux * vz) * (uz * vx - ux * vz) +
                                        (ux * vy - uy * vx) * (ux * vy - uy * vx));
    CVector share(9, true, 0.0);
    for (int a = 0; a < 3; ++a)
    {
        share[3 * a] = t.x;
        share[3 * a + 1] = t.y;
        share[3 * a + 2] = t.z;
    }
    share *= area / 3.0;
    return to_array<9>(share);
}

std::array<double, 12> quad_face_traction(const std::array<Point3, 4>& f, Point3 t)
{
    CVector load(12, true, 0.0);
    for (double xi : {-kGauss, kGauss})
        for (double eta : {-kGauss, kGauss})
        {
            // dx/dxi and dx/deta of the bilinear map; dA = |dx/dxi x dx/deta| dxi deta.
            double dxi[3] = {}, deta[3] = {}, N[4];
            for (int a = 0; a < 4; ++a)
            {
                N[a] = 0.25 * (1 + xi * kXi[a]) * (1 + eta * kEta[a]);
                const double sx = 0.25 * kXi[a] * (1 + eta * kEta[a]);
                const double se = 0.25 * kEta[a] * (1 + xi * kXi[a]);
                const double x[3] = {f[a].x, f[a].y, f[a].z};
                for (int c = 0; c < 3; ++c)
                {
                    dxi[c] += sx * x[c];
                    deta[c] += se * x[c];
                }
            }
            const double nx = dxi[1] * deta[2] - dxi[2] * deta[1];
            const double ny = dxi[2] * deta[0] - dxi[0] * deta[2];
            const double nz = dxi[0] * deta[1] - dxi[1] * deta[0];
            const double dA = std::sqrt(nx * nx + ny * ny + nz * nz);
            for (int a = 0; a < 4; ++a)
            {
                load[3 * a] += dA * N[a] * t.x;
                load[3 * a + 1] += dA * N[a] * t.y;
                load[3 * a + 2] += dA * N[a] * t.z;
            }
        }
    return to_array<12>(load);
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
