// The assembled model problems shared by the example programs, the tests and the benchmarks:
// everything a solver needs, as plain arrays, before any library object is made.
//
//  - poisson_2d(N): -div grad u = 1 on the unit square, u = 0 on its boundary; N x N Q4
//    elements, one DOF per node (DOF = node number, Mesh.h G1).
//  - poisson_3d(N): the same on the unit cube with N x N x N Hex8 elements.
//  - cantilever_plate(nx, ny): a plane-stress plate of length L (along x) and height H, clamped
//    on x = 0 (both components of every node there fixed to 0), loaded on x = L by a uniform
//    shear traction, and pushed by a prop: the y component of the bottom node at x = L/2 (node
//    (nx / 2, 0)) is prescribed to a non-zero value. Two DOFs per node, DOF = 2 * node + c.
//  - elastic_block(nx, ny, nz): a cantilever block [0, L] x [0, W] x [0, H] of nx x ny x nz
//    Hex8 elements, isotropic linear elasticity; clamped on x = 0 (every component of every
//    node there fixed to 0), loaded on x = L by a uniform shear traction along z. Three DOFs
//    per node, DOF = 3 * node + c; the probe is the z component at the centre of the loaded
//    face (node (nx, ny / 2, nz / 2)).
//
// Invariants of a FemProblem:
//  P1  element e's DOFs are element_dofs[e * k .. e * k + k - 1] (k = dofs_per_element), all in
//      0 .. num_dofs - 1, in the element's corner order, none repeated
//  P2  element e's k x k matrix is element_matrices[e * k * k ..], row-major (Elements.h layout)
//  P3  fixed_dofs strictly ascending; fixed_values[t] is the value of fixed_dofs[t]
//  P4  load holds the assembled consistent loads, num_dofs entries, before any boundary
//      condition is imposed
#pragma once

#include <string>
#include <vector>

namespace tarvel_fem
{

struct FemProblem
{
    std::string name;
    long num_dofs = 0;
    int dofs_per_element = 0;
    std::vector<long> element_dofs;        // P1
    std::vector<double> element_matrices;  // P2
    std::vector<double> load;              // P4
    std::vector<long> fixed_dofs;          // P3
    std::vector<double> fixed_values;      // P3
    long probe_dof = 0;  // a DOF worth printing: the centre node, or the plate's tip (y component)

    long num_elements() const
    {
        return dofs_per_element ? static_cast<long>(element_dofs.size()) / dofs_per_element : 0;
    }
    // The element's DOF list, as AddValues and InsertDOFs take it (they do not write to it).
    long* dofs(long e) { return element_dofs.data() + e * dofs_per_element; }
    const long* dofs(long e) const { return element_dofs.data() + e * dofs_per_element; }
    double* matrix(long e)
    {
        return element_matrices.data() + e * dofs_per_element * dofs_per_element;
    }
    const double* matrix(long e) const
    {
        return element_matrices.data() + e * dofs_per_element * dofs_per_element;
    }
    // The element's DOFs with every fixed DOF replaced by -1 (the form a graph of the free DOFs
    // takes), written to out[0 .. k - 1].
    void free_dofs(long e, long* out) const;
};

struct PlateData
{
    double length = 8.0;      // L, m
    double height = 2.0;      // H, m
    double thickness = 0.05;  // m
    double young = 210.0e9;   // Pa
    double poisson = 0.3;
    double traction = -1.0e6;  // shear traction t_y on x = L, Pa
    double prop = -1.0e-3;     // prescribed y displacement of node (nx / 2, 0), m
};

struct BlockData
{
    double length = 4.0;  // L, along x, m
    double width = 1.0;   // W, along y, m
    double height = 1.0;  // H, along z, m
    double young = 210.0e9;
    double poisson = 0.3;
    double traction = -1.0e6;  // shear traction t_z on x = L, Pa
};

// Tip deflection of the block by Timoshenko beam theory, bending plus shear:
// P L^3 / (3 E I) + P L / (kappa G A), P = t W H, I = W H^3 / 12, A = W H, kappa = 5/6,
// G = E / (2 (1 + nu)). Reference: S.P. Timoshenko and J.M. Gere, Mechanics of Materials,
// sec. 10.4 (the shear deflection of a cantilever).
double block_tip_deflection(const BlockData& data = BlockData{});

// The demo's default plate: 201 x 51 nodes, 20 502 DOFs, square elements of 4 cm.
constexpr int kDemoPlateNx = 200;
constexpr int kDemoPlateNy = 50;

// Preconditions: n, nx, ny, nz at least 1 (nx at least 2 for the plate, so that the prop stands
// off the clamped edge).
FemProblem poisson_2d(int n);
FemProblem poisson_3d(int n);
FemProblem cantilever_plate(int nx, int ny, const PlateData& data = PlateData{});
FemProblem elastic_block(int nx, int ny, int nz, const BlockData& data = BlockData{});

// The load with the prescribed values eliminated element by element, as a program does for a
// solver without boundary-condition operations: b = f - sum_e K_e[:, fixed] g_e on the free DOFs
// and b_d = g_d on each fixed DOF d.
std::vector<double> eliminated_load(const FemProblem& p);

}  // namespace tarvel_fem
