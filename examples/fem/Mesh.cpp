// Node coordinates, connectivity and boundary sets of the structured grids (numbering G1-G4).
#include "fem/Mesh.h"

namespace tarvel_fem
{

QuadGrid make_quad_grid(int nx, int ny, double lx, double ly)
{
    QuadGrid g;
    g.nx = nx;
    g.ny = ny;
    g.lx = lx;
    g.ly = ly;
    g.nodes.reserve(static_cast<std::size_t>(nx + 1) * (ny + 1));
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) g.nodes.push_back({lx * i / nx, ly * j / ny});
    g.elements.reserve(static_cast<std::size_t>(nx) * ny);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            g.elements.push_back(
                {g.node(i, j), g.node(i + 1, j), g.node(i + 1, j + 1), g.node(i, j + 1)});
    return g;
}

Mesh2D to_mesh(const QuadGrid& g)
{
    Mesh2D m;
    m.corners = 4;
    m.nodes = g.nodes;
    m.connectivity.reserve(g.elements.size() * 4);
    for (const auto& e : g.elements)
        m.connectivity.insert(m.connectivity.end(), e.begin(), e.end());
    return m;
}

Mesh3D to_mesh(const HexGrid& g)
{
    Mesh3D m;
    m.corners = 8;
    m.nodes = g.nodes;
    m.connectivity.reserve(g.elements.size() * 8);
    for (const auto& e : g.elements)
        m.connectivity.insert(m.connectivity.end(), e.begin(), e.end());
    m.clamped = g.face_nodes(Face::XLow);
    m.face_corners = 4;
    for (int k = 0; k < g.nz; ++k)
        for (int j = 0; j < g.ny; ++j)
            m.load_faces.insert(m.load_faces.end(),
                                {g.node(g.nx, j, k), g.node(g.nx, j + 1, k),
                                 g.node(g.nx, j + 1, k + 1), g.node(g.nx, j, k + 1)});
    return m;
}

std::array<Point2, 4> QuadGrid::corners(long e) const
{
    const auto& c = elements[static_cast<std::size_t>(e)];
    return {nodes[c[0]], nodes[c[1]], nodes[c[2]], nodes[c[3]]};
}

std::vector<long> QuadGrid::edge_nodes(Edge edge) const
{
    std::vector<long> out;
    switch (edge)
    {
    case Edge::Left:
        for (int j = 0; j <= ny; ++j) out.push_back(node(0, j));
        break;
    case Edge::Right:
        for (int j = 0; j <= ny; ++j) out.push_back(node(nx, j));
        break;
    case Edge::Bottom:
        for (int i = 0; i <= nx; ++i) out.push_back(node(i, 0));
        break;
    case Edge::Top:
        for (int i = 0; i <= nx; ++i) out.push_back(node(i, ny));
        break;
    }
    return out;
}

HexGrid make_box_grid(int nx, int ny, int nz, double lx, double ly, double lz)
{
    HexGrid g;
    g.nx = nx;
    g.ny = ny;
    g.nz = nz;
    g.nodes.reserve(static_cast<std::size_t>(nx + 1) * (ny + 1) * (nz + 1));
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
                g.nodes.push_back({lx * i / nx, ly * j / ny, lz * k / nz});
    g.elements.reserve(static_cast<std::size_t>(nx) * ny * nz);
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                g.elements.push_back({g.node(i, j, k), g.node(i + 1, j, k), g.node(i + 1, j + 1, k),
                                      g.node(i, j + 1, k), g.node(i, j, k + 1),
                                      g.node(i + 1, j, k + 1), g.node(i + 1, j + 1, k + 1),
                                      g.node(i, j + 1, k + 1)});
    return g;
}

std::array<Point3, 8> HexGrid::corners(long e) const
{
    const auto& c = elements[static_cast<std::size_t>(e)];
    std::array<Point3, 8> p{};
    for (int a = 0; a < 8; ++a) p[a] = nodes[c[a]];
    return p;
}

std::vector<long> HexGrid::face_nodes(Face face) const
{
    std::vector<long> out;
    // A face fixes one grid coordinate; walking the nodes in G1 order keeps the set ascending.
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
            {
                const bool on =
                    (face == Face::XLow && i == 0) || (face == Face::XHigh && i == nx) ||
                    (face == Face::YLow && j == 0) || (face == Face::YHigh && j == ny) ||
                    (face == Face::ZLow && k == 0) || (face == Face::ZHigh && k == nz);
                if (on) out.push_back(node(i, j, k));
            }
    return out;
}

std::vector<long> HexGrid::boundary_nodes() const
{
    std::vector<long> out;
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
                if (i == 0 || i == nx || j == 0 || j == ny || k == 0 || k == nz)
                    out.push_back(node(i, j, k));
    return out;
}

}  // namespace tarvel_fem
