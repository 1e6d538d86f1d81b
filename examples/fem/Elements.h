// Element matrices and load vectors of the model problems, isoparametric with Gauss quadrature.
//
// Layout: an element matrix is row-major, k x k, entry [a * k + b] coupling element DOF a to
// element DOF b (the block AddValues takes). Element DOFs follow the corner order of Mesh.h (G3);
// for plane stress, element DOF 2a + c is component c (0: x, 1: y) of corner a, the same rule as
// the global DOF 2 * node + c.
//
// Quadrature: 2 x 2 (x 2) Gauss-Legendre points +-1/sqrt(3), unit weights. It integrates the
// bilinear (trilinear) stiffness exactly on parallelograms (parallelepipeds) and is the usual
// full integration on distorted elements.
// Reference: T.J.R. Hughes, The Finite Element Method, Dover 2000, sec. 3.5 and 3.9.
#pragma once

#include "fem/Mesh.h"

#include <array>

namespace tarvel_fem
{

using Quad = std::array<Point2, 4>;
using Hex = std::array<Point3, 8>;

// K_ab = integral of conductivity * grad N_a . grad N_b over the quadrilateral.
std::array<double, 16> q4_poisson(const Quad& xy, double conductivity = 1.0);

// Plane stress, isotropic: K = t * integral of B^T D B, D = E / (1 - nu^2) *
// [[1, nu, 0], [nu, 1, 0], [0, 0, (1 - nu) / 2]], strains (e_xx, e_yy, g_xy).
std::array<double, 64> q4_plane_stress(const Quad& xy, double young, double poisson,
                                       double thickness);

// K_ab = integral of conductivity * grad N_a . grad N_b over the hexahedron.
std::array<double, 64> hex8_poisson(const Hex& xyz, double conductivity = 1.0);

// Consistent loads of a uniform source s: f_a = integral of s * N_a.
std::array<double, 4> q4_source(const Quad& xy, double source);
std::array<double, 8> hex8_source(const Hex& xyz, double source);

// Consistent load of a uniform traction (tx, ty) per unit length on the straight edge a-b of a
// plate of the given thickness: half the resultant at each end, laid out (a_x, a_y, b_x, b_y).
std::array<double, 4> edge_traction(Point2 a, Point2 b, double tx, double ty, double thickness);

}  // namespace tarvel_fem
