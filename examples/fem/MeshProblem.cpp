// A problem on a plane mesh with boundary conditions from the geometry (rules B1-B4 in
// MeshProblem.h).
#include "fem/MeshProblem.h"

#include "fem/Elements.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvel_fem
{
namespace
{

struct Extent
{
    double xmin = std::numeric_limits<double>::infinity();
    double xmax = -std::numeric_limits<double>::infinity();
    double ymin = std::numeric_limits<double>::infinity();
    double ymax = -std::numeric_limits<double>::infinity();
    double tol = 0.0;  // rounding allowed in "smallest" and "largest"
};

Extent extent_of(const Mesh2D& m)
{
    Extent x;
    for (const Point2& p : m.nodes)
    {
        x.xmin = std::min(x.xmin, p.x);
        x.xmax = std::max(x.xmax, p.x);
        x.ymin = std::min(x.ymin, p.y);
        x.ymax = std::max(x.ymax, p.y);
    }
    x.tol = 1e-9 * std::max(x.xmax - x.xmin, x.ymax - x.ymin);
    return x;
}

// Of the nodes that pass the filter, the one with the smallest |coordinate - target|; the first
// (lowest number) on a tie; -1 when none passes.
template <class Filter, class Coordinate>
long nearest(const Mesh2D& m, Filter pass, Coordinate coordinate, double target)
{
    long best = -1;
    double distance = std::numeric_limits<double>::infinity();
    for (long v = 0; v < m.num_nodes(); ++v)
        if (pass(m.nodes[v]) && std::fabs(coordinate(m.nodes[v]) - target) < distance)
        {
            best = v;
            distance = std::fabs(coordinate(m.nodes[v]) - target);
        }
    return best;
}

// The element matrix and, for Poisson, the source load of element e, appended to p.
void add_element(FemProblem& p, const Mesh2D& m, long e, Physics physics, const PlateData& plate,
                 const PoissonData& poisson)
{
    const long* c = m.element(e);
    const int dpn = physics == Physics::PlaneStress ? 2 : 1;
    for (int a = 0; a < m.corners; ++a)
        for (int d = 0; d < dpn; ++d) p.element_dofs.push_back(dpn * c[a] + d);
    auto append = [&p](const auto& ke)
    { p.element_matrices.insert(p.element_matrices.end(), ke.begin(), ke.end()); };
    auto add_source = [&p, c](const auto& fe)
    {
        for (std::size_t a = 0; a < fe.size(); ++a) p.load[c[a]] += fe[a];
    };
    if (m.corners == 4)
    {
        const Quad q = {m.nodes[c[0]], m.nodes[c[1]], m.nodes[c[2]], m.nodes[c[3]]};
        if (physics == Physics::PlaneStress)
            append(q4_plane_stress(q, plate.young, plate.poisson, plate.thickness));
        else
        {
            append(q4_poisson(q, poisson.conductivity));
            add_source(q4_source(q, poisson.source));
        }
    }
    else
    {
        const Tri t = {m.nodes[c[0]], m.nodes[c[1]], m.nodes[c[2]]};
        if (physics == Physics::PlaneStress)
            append(t3_plane_stress(t, plate.young, plate.poisson, plate.thickness));
        else
        {
            append(t3_poisson(t, poisson.conductivity));
            add_source(t3_source(t, poisson.source));
        }
    }
}

// Prescribes DOF d to value g, keeping fixed_dofs ascending (P3); d is not fixed yet.
void prescribe(FemProblem& p, long d, double g)
{
    const auto at = std::lower_bound(p.fixed_dofs.begin(), p.fixed_dofs.end(), d);
    p.fixed_values.insert(p.fixed_values.begin() + (at - p.fixed_dofs.begin()), g);
    p.fixed_dofs.insert(at, d);
}

}  // namespace

FemProblem mesh_problem(const Mesh2D& m, Physics physics, const PlateData& plate,
                        const PoissonData& poisson)
{
    const Extent box = extent_of(m);
    const int dpn = physics == Physics::PlaneStress ? 2 : 1;
    auto on_clamped = [&box](const Point2& v) { return v.x <= box.xmin + box.tol; };
    auto on_loaded = [&box](const Point2& v) { return v.x >= box.xmax - box.tol; };

    FemProblem p;
    p.name = physics == Physics::PlaneStress ? "plane-stress mesh" : "Poisson mesh";
    p.num_dofs = dpn * m.num_nodes();
    p.dofs_per_element = dpn * m.corners;
    p.load.assign(static_cast<std::size_t>(p.num_dofs), 0.0);
    p.element_dofs.reserve(static_cast<std::size_t>(m.num_elements() * p.dofs_per_element));
    p.element_matrices.reserve(
        static_cast<std::size_t>(m.num_elements() * p.dofs_per_element * p.dofs_per_element));
    for (long e = 0; e < m.num_elements(); ++e) add_element(p, m, e, physics, plate, poisson);

    // -- B2: the sides on the loaded edge, element by element, corner a to corner a + 1 --
    for (long e = 0; e < m.num_elements(); ++e)
        for (int s = 0; s < m.corners; ++s)
        {
            const long a = m.element(e)[s], b = m.element(e)[(s + 1) % m.corners];
            if (!on_loaded(m.nodes[a]) || !on_loaded(m.nodes[b])) continue;
            if (physics == Physics::PlaneStress)
            {
                const auto fe =
                    edge_traction(m.nodes[a], m.nodes[b], 0.0, plate.traction, plate.thickness);
                const long dofs[4] = {2 * a, 2 * a + 1, 2 * b, 2 * b + 1};
                for (int q = 0; q < 4; ++q) p.load[dofs[q]] += fe[q];
            }
            else
            {
                const double half =
                    0.5 * poisson.inflow *
                    std::hypot(m.nodes[b].x - m.nodes[a].x, m.nodes[b].y - m.nodes[a].y);
                p.load[a] += half;
                p.load[b] += half;
            }
        }

    // -- B1, then B3 --
    for (long v = 0; v < m.num_nodes(); ++v)
        if (on_clamped(m.nodes[v]))
            for (int d = 0; d < dpn; ++d) p.fixed_dofs.push_back(dpn * v + d);
    p.fixed_values.assign(p.fixed_dofs.size(), 0.0);
    const long prop = nearest(
        m, [&](const Point2& v) { return v.y <= box.ymin + box.tol && !on_clamped(v); },
        [](const Point2& v) { return v.x; }, 0.5 * (box.xmin + box.xmax));
    if (prop >= 0)
        prescribe(p, dpn * prop + dpn - 1,
                  physics == Physics::PlaneStress ? plate.prop : poisson.prop);

    // -- B4 --
    const long tip = nearest(
        m, on_loaded, [](const Point2& v) { return v.y; }, 0.5 * (box.ymin + box.ymax));
    p.probe_dof = dpn * tip + dpn - 1;
    return p;
}

FemProblem solid_problem(const Mesh3D& m, const BlockData& data)
{
    FemProblem p;
    p.name = "solid";
    p.num_dofs = 3 * m.num_nodes();
    p.dofs_per_element = 3 * m.corners;
    const int k = p.dofs_per_element;
    p.load.assign(static_cast<std::size_t>(p.num_dofs), 0.0);
    p.element_dofs.reserve(static_cast<std::size_t>(m.num_elements()) * k);
    p.element_matrices.reserve(static_cast<std::size_t>(m.num_elements()) * k * k);
    for (long e = 0; e < m.num_elements(); ++e)
    {
        const long* c = m.element(e);
        for (int a = 0; a < m.corners; ++a)
            for (long comp = 0; comp < 3; ++comp) p.element_dofs.push_back(3 * c[a] + comp);
        if (m.corners == 8)
        {
            Hex h;
            for (int a = 0; a < 8; ++a) h[a] = m.nodes[c[a]];
            const auto ke = hex8_elasticity(h, data.young, data.poisson);
            p.element_matrices.insert(p.element_matrices.end(), ke.begin(), ke.end());
        }
        else
        {
            const auto ke =
                tet4_elasticity({m.nodes[c[0]], m.nodes[c[1]], m.nodes[c[2]], m.nodes[c[3]]},
                                data.young, data.poisson);
            p.element_matrices.insert(p.element_matrices.end(), ke.begin(), ke.end());
        }
    }
    const Point3 t = {0.0, 0.0, data.traction};
    const long faces = static_cast<long>(m.load_faces.size()) / m.face_corners;
    std::vector<long> loaded;
    for (long f = 0; f < faces; ++f)
    {
        const long* c = m.load_faces.data() + f * m.face_corners;
        loaded.insert(loaded.end(), c, c + m.face_corners);
        auto add = [&](const auto& fe)
        {
            for (std::size_t q = 0; q < fe.size(); ++q) p.load[3 * c[q / 3] + q % 3] += fe[q];
        };
        if (m.face_corners == 4)
            add(quad_face_traction({m.nodes[c[0]], m.nodes[c[1]], m.nodes[c[2]], m.nodes[c[3]]},
                                   t));
        else
            add(tri_face_traction({m.nodes[c[0]], m.nodes[c[1]], m.nodes[c[2]]}, t));
    }
    for (long node : m.clamped)  // ascending nodes give ascending DOFs (P3)
        for (long comp = 0; comp < 3; ++comp) p.fixed_dofs.push_back(3 * node + comp);
    p.fixed_values.assign(p.fixed_dofs.size(), 0.0);

    std::sort(loaded.begin(), loaded.end());
    loaded.erase(std::unique(loaded.begin(), loaded.end()), loaded.end());
    Point3 centre = {0.0, 0.0, 0.0};
    for (long v : loaded)
        centre = {centre.x + m.nodes[v].x, centre.y + m.nodes[v].y, centre.z + m.nodes[v].z};
    const double share = 1.0 / static_cast<double>(loaded.size());
    centre = {centre.x * share, centre.y * share, centre.z * share};
    long probe = loaded.front();
    double best = std::numeric_limits<double>::infinity();
    for (long v : loaded)
    {
        const Point3& q = m.nodes[v];
        const double d = std::hypot(q.x - centre.x, q.y - centre.y, q.z - centre.z);
        if (d < best) best = d, probe = v;
    }
    p.probe_dof = 3 * probe + 2;
    return p;
}

}  // namespace tarvel_fem
