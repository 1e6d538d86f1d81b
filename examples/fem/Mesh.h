// Meshes of the model problems: a rectangle cut into nx x ny four-node quadrilaterals, a box
// cut into nx x ny x nz eight-node hexahedra, and an unstructured plane mesh of one element kind.
//
// Numbering (both grids):
//  G1  nodes run row by row: x fastest, then y, then z; node (i, j) of the quadrilateral grid
//      is j * (nx + 1) + i, node (i, j, k) of the hexahedral grid is
//      (k * (ny + 1) + j) * (nx + 1) + i
//  G2  elements run in the same order as their lower-left(-front) corner node
//  G3  an element lists its corners counter-clockwise seen from +z, starting at its lowest
//      corner; a hexahedron lists its bottom face (z low) that way, then its top face
//  G4  boundary node sets are ascending node numbers
#pragma once

#include <array>
#include <vector>

namespace tarvel_fem
{

struct Point2
{
    double x;
    double y;
};

struct Point3
{
    double x;
    double y;
    double z;
};

enum class Edge
{
    Left,    // x = 0
    Right,   // x = lx
    Bottom,  // y = 0
    Top      // y = ly
};

enum class Face
{
    XLow,
    XHigh,
    YLow,
    YHigh,
    ZLow,
    ZHigh
};

// nx x ny quadrilaterals on [0, lx] x [0, ly].
struct QuadGrid
{
    int nx = 0;
    int ny = 0;
    double lx = 0.0;
    double ly = 0.0;
    std::vector<Point2> nodes;                  // G1
    std::vector<std::array<long, 4>> elements;  // G2, G3

    long node(int i, int j) const { return static_cast<long>(j) * (nx + 1) + i; }
    long num_nodes() const { return static_cast<long>(nodes.size()); }
    long num_elements() const { return static_cast<long>(elements.size()); }
    std::array<Point2, 4> corners(long e) const;
    std::vector<long> edge_nodes(Edge edge) const;  // G4
};

// nx x ny x nz hexahedra on the box [0, lx] x [0, ly] x [0, lz].
struct HexGrid
{
    int nx = 0;
    int ny = 0;
    int nz = 0;
    std::vector<Point3> nodes;                  // G1
    std::vector<std::array<long, 8>> elements;  // G2, G3

    long node(int i, int j, int k) const
    {
        return (static_cast<long>(k) * (ny + 1) + j) * (nx + 1) + i;
    }
    long num_nodes() const { return static_cast<long>(nodes.size()); }
    long num_elements() const { return static_cast<long>(elements.size()); }
    std::array<Point3, 8> corners(long e) const;
    std::vector<long> face_nodes(Face face) const;  // G4
    std::vector<long> boundary_nodes() const;       // every node on some face, G4
};

// A plane mesh of 3-node triangles or 4-node quadrilaterals (one kind per mesh), as read from a
// mesh file or made from a grid.
//  U1  element e's corners are connectivity[e * corners .. e * corners + corners - 1], node
//      numbers in 0 .. num_nodes() - 1, counter-clockwise seen from +z (G3 for quadrilaterals)
struct Mesh2D
{
    int corners = 4;  // 3 or 4
    std::vector<Point2> nodes;
    std::vector<long> connectivity;  // U1

    long num_nodes() const { return static_cast<long>(nodes.size()); }
    long num_elements() const { return static_cast<long>(connectivity.size()) / corners; }
    const long* element(long e) const { return connectivity.data() + e * corners; }
};

// A solid mesh of 4-node tetrahedra or 8-node hexahedra (one kind per mesh), with the two
// boundary parts of a cantilever, as read from a mesh file or made from a grid.
//  S1  element e's corners are connectivity[e * corners .. e * corners + corners - 1], node
//      numbers in 0 .. num_nodes() - 1; a tetrahedron has positive volume (Elements.h), a
//      hexahedron lists its corners as G3 does
//  S2  clamped holds ascending node numbers; load_faces lists face_corners node numbers per
//      face (triangles on a mesh of tetrahedra, quadrilaterals on one of hexahedra)
struct Mesh3D
{
    int corners = 8;  // 4 or 8
    std::vector<Point3> nodes;
    std::vector<long> connectivity;  // S1
    std::vector<long> clamped;       // S2
    int face_corners = 4;            // 3 or 4
    std::vector<long> load_faces;    // S2

    long num_nodes() const { return static_cast<long>(nodes.size()); }
    long num_elements() const { return static_cast<long>(connectivity.size()) / corners; }
    const long* element(long e) const { return connectivity.data() + e * corners; }
};

// The grid as a Mesh2D: same nodes, elements and numbering (G1-G3).
Mesh2D to_mesh(const QuadGrid& g);
// The box grid as a Mesh3D: same nodes and elements; clamped on x = 0, loaded on x = lx (the
// faces in the order of their elements, each as corners 1, 2, 6, 5 of its element).
Mesh3D to_mesh(const HexGrid& g);

// Preconditions: nx, ny, nz, n at least 1; lengths positive.
QuadGrid make_quad_grid(int nx, int ny, double lx, double ly);
HexGrid make_box_grid(int nx, int ny, int nz, double lx, double ly, double lz);
inline HexGrid make_hex_grid(int n, double l) { return make_box_grid(n, n, n, l, l, l); }

}  // namespace tarvel_fem
