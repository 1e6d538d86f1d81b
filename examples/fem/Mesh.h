// Structured meshes of the model problems: a rectangle cut into nx x ny four-node
// quadrilaterals and a cube cut into n x n x n eight-node hexahedra.
//
// Numbering (both grids):
//  G1  nodes run row by row: x fastest, then y, then z; node (i, j) of the quadrilateral grid
//      is j * (nx + 1) + i, node (i, j, k) of the hexahedral grid is (k * (n + 1) + j) * (n + 1) + i
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

// n x n x n hexahedra on the cube [0, l]^3.
struct HexGrid
{
    int n = 0;
    double l = 0.0;
    std::vector<Point3> nodes;                  // G1
    std::vector<std::array<long, 8>> elements;  // G2, G3

    long node(int i, int j, int k) const
    {
        return (static_cast<long>(k) * (n + 1) + j) * (n + 1) + i;
    }
    long num_nodes() const { return static_cast<long>(nodes.size()); }
    long num_elements() const { return static_cast<long>(elements.size()); }
    std::array<Point3, 8> corners(long e) const;
    std::vector<long> face_nodes(Face face) const;  // G4
    std::vector<long> boundary_nodes() const;       // every node on some face, G4
};

// Preconditions: nx, ny, n at least 1; lengths positive.
QuadGrid make_quad_grid(int nx, int ny, double lx, double ly);
HexGrid make_hex_grid(int n, double l);

}  // namespace tarvel_fem
