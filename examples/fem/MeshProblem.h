// A model problem on any plane mesh (Mesh.h, Mesh2D), with boundary conditions found from the
// geometry so that a mesh read from a file needs no further input:
//
//  B1  clamped edge: every node whose x is the smallest of the mesh has all its DOFs fixed to 0
//  B2  loaded edge: every element side whose two corners have the largest x carries a uniform
//      shear traction t_y (plane stress) or an inflow q (Poisson)
//  B3  prop: of the nodes with the smallest y that B1 leaves free, the one nearest to the middle
//      of the x range (the lowest node number on a tie) has its y component (plane stress) or
//      its value (Poisson) prescribed to a non-zero value; none when every such node is clamped
//  B4  probe: of the nodes with the largest x, the one nearest to the middle of the y range (the
//      lowest node number on a tie); its y component or value is the problem's probe_dof
// "Smallest" and "largest" allow 1e-9 of the mesh's extent for rounding in a file.
//
// Plane stress: material, thickness, traction and prop value of PlateData (Problems.h); DOF
// 2 * node + c. Poisson: -div(k grad u) = s with the data below; DOF = node. On the grid of
// cantilever_plate(nx, ny) with nx and ny even, the plane-stress problem is that plate bit for bit.
#pragma once

#include "fem/Mesh.h"
#include "fem/Problems.h"

namespace tarvel_fem
{

enum class Physics
{
    PlaneStress,
    Poisson,
    Solid  // 3-D linear elasticity: elastic_block or solid_problem, never mesh_problem
};

struct PoissonData
{
    double conductivity = 1.0;
    double source = 1.0;  // s per unit area
    double inflow = 1.0;  // q per unit length of the loaded edge
    double prop = 1.0;    // the prescribed value of B3
};

// Linear elasticity on a solid mesh: the nodes of mesh.clamped have every component fixed to 0;
// each face of mesh.load_faces carries the uniform traction (0, 0, t) of BlockData; the probe is
// the z component of the loaded node nearest the loaded nodes' centroid (the lowest number on a
// tie). Material of BlockData; DOF 3 * node + c. On to_mesh(make_box_grid(...)) of the block's
// grid it is elastic_block (the element matrices equal to rounding; ny and nz even for the probe).
// Precondition: a mesh satisfying S1-S2 with at least one loaded face.
FemProblem solid_problem(const Mesh3D& mesh, const BlockData& data = BlockData{});

// Precondition: a non-empty mesh (U1) whose x range has a positive extent.
FemProblem mesh_problem(const Mesh2D& mesh, Physics physics, const PlateData& plate = PlateData{},
                        const PoissonData& poisson = PoissonData{});

}  // namespace tarvel_fem
