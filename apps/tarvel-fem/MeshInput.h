// Meshes from files: what a mesh file holds, as read (RawMesh), and the checks that turn it into
// a plane mesh (tarvel_fem::Mesh2D) or a solid mesh (tarvel_fem::Mesh3D) the demo can solve on,
// each failure a one-line message.
//
// Choices:
//  - A file with volume elements is a solid mesh: its elements of dimension 3 are the mesh, and
//    its physical surfaces named "clamped" and "load" (kClampedGroup, kLoadGroup) its boundary;
//    both must exist, and the loaded faces must be faces of the element kind (triangles on
//    tetrahedra, quadrilaterals on hexahedra) whose nodes the volume elements use.
//  - Tetrahedra turned inside out are turned back (their last two corners exchanged), and
//    hexahedra whose corner Jacobians are all negative are mirrored (top and bottom faces
//    exchanged); a tetrahedron without volume, or a hexahedron whose corner Jacobians differ in
//    sign or vanish, is refused.
//  - In a plane mesh only the elements of dimension 2 are used; points and lines in the file are ignored, and
//    nodes that no element uses are dropped. A mesh with volume elements is refused whatever
//    else it holds (its triangles are then the boundary of a solid).
//  - One element kind per mesh (3-node triangles or 4-node quadrilaterals); a mesh mixing the two
//    is refused rather than split.
//  - Nodes are renumbered 0, 1, ... in ascending order of their tags, so that the file's own
//    numbering is the "before" numbering of the reorderings.
//  - Clockwise elements are turned counter-clockwise; elements without area and quadrilaterals
//    that are not strictly convex are refused (their element matrices would be wrong).
#pragma once

#include "fem/Mesh.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tarvel_demo
{

// Element kinds by the numbers of the Gmsh file format.
constexpr int kGmshTriangle3 = 2;
constexpr int kGmshQuadrangle4 = 3;
constexpr int kGmshTetrahedron4 = 4;
constexpr int kGmshHexahedron8 = 5;
constexpr const char* kClampedGroup = "clamped";
constexpr const char* kLoadGroup = "load";

struct RawMesh
{
    std::vector<std::size_t> node_tags;
    std::vector<double> coords;  // x, y, z of node_tags[i] at 3 i .. 3 i + 2

    struct Block  // the elements of one kind
    {
        int type = 0;      // Gmsh element type
        std::string name;  // its name, for messages
        int corners = 0;   // nodes per element
        std::vector<std::size_t> element_tags;
        std::vector<std::size_t> node_tags;  // corners per element, in element order
    };
    std::vector<Block> surface_blocks;  // elements of dimension 2
    bool has_volume_elements = false;
    std::vector<Block> volume_blocks;  // elements of dimension 3

    struct Group  // a physical surface: the elements of its entities
    {
        std::string name;
        std::vector<Block> blocks;
    };
    std::vector<Group> surface_groups;
};

// Checks raw and builds mesh; returns "" on success, else the reason (no file name, no newline).
// When z is not null it receives each node's z as read (the plane's height), in mesh order.
std::string make_mesh(const RawMesh& raw, tarvel_fem::Mesh2D& mesh,
                      std::vector<double>* z = nullptr);

// The same for a solid mesh (has_volume_elements): "" on success, else the reason.
std::string make_solid_mesh(const RawMesh& raw, tarvel_fem::Mesh3D& mesh);

// "" when the first line of the file that is not blank is "$MeshFormat" (or "$NOD", the first
// format's header), blanks around it allowed, with offset the position of its '$'; else the
// reason ("cannot be read", or that it is not a mesh file). Reads at most the blanks and one
// short line, whatever the file's size.
std::string check_mesh_header(const std::string& path, long long& offset);

// Reads a mesh file through the Gmsh API; returns "" on success, else the reason. Without the
// Gmsh API built in, returns kGmshMissing. Gmsh runs scripts (.geo files, and a "FILE.opt" beside
// any file it opens), shell commands included: a file is handed to it only after
// check_mesh_header, as "mesh.msh" in a fresh private directory (a link to it, or a copy from the
// header on when blanks precede it, since Gmsh picks its reader by the first bytes), so that
// Gmsh reads it as a mesh and finds no option file beside it.
std::string read_gmsh(const std::string& path, RawMesh& raw);
extern const char* const kGmshMissing;
bool gmsh_built_in();

}  // namespace tarvel_demo
