// The solution as a legacy VTK file (ASCII, DATASET UNSTRUCTURED_GRID), which ParaView and
// VisIt open: the mesh's nodes at their own z (0 when none is given), its elements as VTK
// triangles (type 5) or quads (type 9), and the solution as point data: VECTORS displacement
// (u_x, u_y, 0) for plane stress, SCALARS u for Poisson; an iterate that is not final is named
// displacement_unfinished or u_unfinished instead, so that no reader takes it for the solution.
// A solid mesh: its nodes, its tetrahedra (type 10) or hexahedra (type 12, corners in the order of
// Mesh.h G3, which is VTK's), and VECTORS displacement (u_x, u_y, u_z).
// Values are written with 17 significant digits, so they read back exactly.
#pragma once

#include "fem/Mesh.h"
#include "fem/MeshProblem.h"

#include <ostream>
#include <string>
#include <vector>

namespace tarvel_demo
{

// u holds the solution by DOF (2 per node for plane stress, 1 for Poisson); z is empty or holds
// one height per node; title is one line.
void write_vtk(std::ostream& out, const tarvel_fem::Mesh2D& mesh, const std::vector<double>& z,
               tarvel_fem::Physics physics, const std::vector<double>& u, bool unfinished,
               const std::string& title);
void write_vtk(std::ostream& out, const tarvel_fem::Mesh3D& mesh, const std::vector<double>& u,
               bool unfinished, const std::string& title);

}  // namespace tarvel_demo
