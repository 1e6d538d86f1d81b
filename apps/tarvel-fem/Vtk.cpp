// Legacy VTK writer (format in Vtk.h).
// Reference: Kitware, "VTK File Formats", the simple legacy format.
#include "Vtk.h"

#include "Print.h"

namespace tarvel_demo
{
namespace
{

// Header, points and cells of k-corner elements of one VTK type.
template <class Points>
void write_grid(std::ostream& out, const std::string& title, const Points& points, long n,
                const long* connectivity, long m, int k, int type)
{
    out << "# vtk DataFile Version 3.0\n"
        << title.substr(0, title.find('\n')) << "\nASCII\n"
        << "DATASET UNSTRUCTURED_GRID\n"
        << format("POINTS %ld double\n", n);
    for (long v = 0; v < n; ++v) points(v);
    out << format("CELLS %ld %ld\n", m, m * (k + 1));
    for (long e = 0; e < m; ++e)
    {
        out << k;
        for (int a = 0; a < k; ++a) out << ' ' << connectivity[e * k + a];
        out << '\n';
    }
    out << format("CELL_TYPES %ld\n", m);
    for (long e = 0; e < m; ++e) out << type << '\n';
    out << format("POINT_DATA %ld\n", n);
}

}  // namespace

void write_vtk(std::ostream& out, const tarvel_fem::Mesh3D& mesh, const std::vector<double>& u,
               bool unfinished, const std::string& title)
{
    const long n = mesh.num_nodes();
    write_grid(
        out, title,
        [&](long v)
        {
            const tarvel_fem::Point3& p = mesh.nodes[v];
            out << format("%.17g %.17g %.17g\n", p.x, p.y, p.z);
        },
        n, mesh.connectivity.data(), mesh.num_elements(), mesh.corners,
        mesh.corners == 4 ? 10 : 12);
    out << "VECTORS displacement" << (unfinished ? "_unfinished" : "") << " double\n";
    for (long v = 0; v < n; ++v)
        out << format("%.17g %.17g %.17g\n", u[3 * v], u[3 * v + 1], u[3 * v + 2]);
}

void write_vtk(std::ostream& out, const tarvel_fem::Mesh2D& mesh, const std::vector<double>& z,
               tarvel_fem::Physics physics, const std::vector<double>& u, bool unfinished,
               const std::string& title)
{
    const char* suffix = unfinished ? "_unfinished" : "";
    const long n = mesh.num_nodes();
    write_grid(
        out, title,
        [&](long v)
        {
            out << format("%.17g %.17g %.17g\n", mesh.nodes[v].x, mesh.nodes[v].y,
                          z.empty() ? 0.0 : z[static_cast<std::size_t>(v)]);
        },
        n, mesh.connectivity.data(), mesh.num_elements(), mesh.corners, mesh.corners == 3 ? 5 : 9);
    if (physics == tarvel_fem::Physics::PlaneStress)
    {
        out << "VECTORS displacement" << suffix << " double\n";
        for (long v = 0; v < n; ++v) out << format("%.17g %.17g 0\n", u[2 * v], u[2 * v + 1]);
    }
    else
    {
        out << "SCALARS u" << suffix << " double 1\nLOOKUP_TABLE default\n";
        for (long v = 0; v < n; ++v) out << format("%.17g\n", u[v]);
    }
}

}  // namespace tarvel_demo
