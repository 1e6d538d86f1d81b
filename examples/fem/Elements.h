// Element matrices and load vectors of the model problems, isoparametric with Gauss quadrature.
//
// Layout: an element matrix is row-major, k x k, entry [a * k + b] coupling element DOF a to
// element DOF b (the block AddValues takes). Element DOFs follow the corner order of Mesh.h (G3);
// for plane stress, element DOF 2a + c is component c (0: x, 1: y) of corner a, the same rule as
// the global DOF 2 * node + c; for solids, element DOF 3a + c is component c (x, y, z) of corner
// a, as the global DOF 3 * node + c.
//
// The solid elements form K = sum over points of w B^T D B with the library's CMatrix (D, and
// B^T as a 3k x 6 matrix, multiplied by PostPreMult), the face loads as a CVector.
//
// Quadrature: 2 x 2 (x 2) Gauss-Legendre points +-1/sqrt(3), unit weights. It integrates the
// bilinear (trilinear) stiffness exactly on parallelograms (parallelepipeds) and is the usual
// full integration on distorted elements. The linear triangle has constant gradients: its
// integrals are exact in closed form.
// Reference: T.J.R. Hughes, The Finite Element Method, Dover 2000, ch. 3 (sec. 3.5 and 3.9 for
// the quadrilateral and the brick; the triangle is the constant-strain element of the chapter).
#pragma once

#include "fem/Mesh.h"

#include <array>

namespace tarvel_fem
{

using Tri = std::array<Point2, 3>;  // corners counter-clockwise
using Quad = std::array<Point2, 4>;
using Hex = std::array<Point3, 8>;
using Tet = std::array<Point3, 4>;  // positive volume: (p1 - p0) x (p2 - p0) . (p3 - p0) > 0

// K_ab = integral of conductivity * grad N_a . grad N_b over the quadrilateral.
std::array<double, 16> q4_poisson(const Quad& xy, double conductivity = 1.0);

// Plane stress, isotropic: K = t * integral of B^T D B, D = E / (1 - nu^2) *
// [[1, nu, 0], [nu, 1, 0], [0, 0, (1 - nu) / 2]], strains (e_xx, e_yy, g_xy).
std::array<double, 64> q4_plane_stress(const Quad& xy, double young, double poisson,
                                       double thickness);

// K_ab = integral of conductivity * grad N_a . grad N_b over the hexahedron.
std::array<double, 64> hex8_poisson(const Hex& xyz, double conductivity = 1.0);

// Linear (3-node) triangle, corners counter-clockwise (a clockwise triangle has a negative
// area and gives the negated matrix): with 2A = (x1 - x0)(y2 - y0) - (x2 - x0)(y1 - y0),
// grad N_a = (y_{a+1} - y_{a+2}, x_{a+2} - x_{a+1}) / 2A (indices mod 3), constant over the
// triangle, so K = A * grad N^T C grad N exactly.
std::array<double, 9> t3_poisson(const Tri& xy, double conductivity = 1.0);
std::array<double, 36> t3_plane_stress(const Tri& xy, double young, double poisson,
                                       double thickness);

// Isotropic linear elasticity: K = integral of B^T D B, strains (e_xx, e_yy, e_zz, g_xy, g_yz,
// g_zx), D = lambda 1 1^T + mu diag(2, 2, 2, 1, 1, 1), lambda = E nu / ((1 + nu)(1 - 2 nu)),
// mu = E / (2 (1 + nu)). The tetrahedron has constant gradients: K = V B^T D B exactly (Hughes
// sec. 3.9 and the constant-strain tetrahedron of Zienkiewicz and Taylor, 6th ed., ch. 8).
std::array<double, 576> hex8_elasticity(const Hex& xyz, double young, double poisson);
std::array<double, 144> tet4_elasticity(const Tet& xyz, double young, double poisson);
double tet4_volume(const Tet& xyz);
// det J at the eight corners (reference points (xi_a, eta_a, zeta_a)): all positive for a
// hexahedron whose corners follow G3 and that does not fold.
std::array<double, 8>
hex8_corner_jacobians(const Hex& xyz);  // signed: negative for a tetrahedron turned inside out

// Consistent loads of a uniform traction t (force per area) on a flat face of a solid, laid out
// (a_x, a_y, a_z, b_x, ...): the triangle gives each corner t A / 3; the quadrilateral face (four
// corners in order around it) integrates its bilinear N_a with 2 x 2 points.
std::array<double, 9> tri_face_traction(const std::array<Point3, 3>& face, Point3 t);
std::array<double, 12> quad_face_traction(const std::array<Point3, 4>& face, Point3 t);

// Consistent loads of a uniform source s: f_a = integral of s * N_a.
std::array<double, 4> q4_source(const Quad& xy, double source);
std::array<double, 8> hex8_source(const Hex& xyz, double source);
std::array<double, 3> t3_source(const Tri& xy, double source);  // s A / 3 at each corner

// Consistent load of a uniform traction (tx, ty) per unit length on the straight edge a-b of a
// plate of the given thickness: half the resultant at each end, laid out (a_x, a_y, b_x, b_y).
std::array<double, 4> edge_traction(Point2 a, Point2 b, double tx, double ty, double thickness);

}  // namespace tarvel_fem
