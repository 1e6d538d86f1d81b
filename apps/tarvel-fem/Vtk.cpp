// Legacy VTK writer (format in Vtk.h).
// Reference: Kitware, "VTK File Formats", the simple legacy format.
#include "Vtk.h"

#include "Print.h"

namespace tarvel_demo
{

void write_vtk(std::ostream& out, const tarvel_fem::Mesh2D& mesh, const std::vector<double>& z,
               tarvel_fem::Physics physics, const std::vector<double>& u, bool unfinished,
               const std::string& title)
{
    const char* suffix = unfinished ? "_unfinished" : "";
    const long n = mesh.num_nodes(), m = mesh.num_elements();
    const int k = mesh.corners;
    out << "# vtk DataFile Version 3.0\n"
        << title.substr(0, title.find('\n')) << "\nASCII\n"
        << "DATASET UNSTRUCTURED_GRID\n"
        << format("POINTS %ld double\n", n);
    for (long v = 0; v < n; ++v)
        out << format("%.17g %.17g %.17g\n", mesh.nodes[v].x, mesh.nodes[v].y,
                      z.empty() ? 0.0 : z[static_cast<std::size_t>(v)]);
    out << format("CELLS %ld %ld\n", m, m * (k + 1));
    for (long e = 0; e < m; ++e)
    {
        out << k;
        for (int a = 0; a < k; ++a) out << ' ' << mesh.element(e)[a];
        out << '\n';
    }
    out << format("CELL_TYPES %ld\n", m);
    for (long e = 0; e < m; ++e) out << (k == 3 ? "5\n" : "9\n");
    out << format("POINT_DATA %ld\n", n);
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
