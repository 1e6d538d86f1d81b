// Assembly of the model problems into plain arrays (contents and invariants in Problems.h).
#include "fem/Problems.h"

#include "fem/Elements.h"
#include "fem/Mesh.h"

#include <algorithm>
#include <cmath>

namespace tarvel_fem
{
namespace
{

// Adds an element load vector at the element's DOFs.
template <std::size_t K>
void add_load(FemProblem& p, const long* dofs, const std::array<double, K>& fe)
{
    for (std::size_t a = 0; a < K; ++a) p.load[dofs[a]] += fe[a];
}

// One DOF per node, fixed to 0 on the given boundary nodes.
void fix_nodes_to_zero(FemProblem& p, std::vector<long> nodes)
{
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    p.fixed_dofs = std::move(nodes);
    p.fixed_values.assign(p.fixed_dofs.size(), 0.0);
}

}  // namespace

void FemProblem::free_dofs(long e, long* out) const
{
    const long* d = dofs(e);
    for (int a = 0; a < dofs_per_element; ++a)
        out[a] = std::binary_search(fixed_dofs.begin(), fixed_dofs.end(), d[a]) ? -1 : d[a];
}

std::vector<double> eliminated_load(const FemProblem& p)
{
    std::vector<double> g(static_cast<std::size_t>(p.num_dofs), 0.0);
    std::vector<char> fixed(static_cast<std::size_t>(p.num_dofs), 0);
    for (std::size_t t = 0; t < p.fixed_dofs.size(); ++t)
    {
        g[p.fixed_dofs[t]] = p.fixed_values[t];
        fixed[p.fixed_dofs[t]] = 1;
    }
    std::vector<double> b = p.load;
    const int k = p.dofs_per_element;
    for (long e = 0; e < p.num_elements(); ++e)
    {
        const long* d = p.dofs(e);
        const double* ke = p.matrix(e);
        for (int a = 0; a < k; ++a)
            if (!fixed[d[a]])
                for (int c = 0; c < k; ++c)
                    if (fixed[d[c]]) b[d[a]] -= ke[a * k + c] * g[d[c]];
    }
    for (std::size_t t = 0; t < p.fixed_dofs.size(); ++t) b[p.fixed_dofs[t]] = p.fixed_values[t];
    return b;
}

FemProblem poisson_2d(int n)
{
    const QuadGrid g = make_quad_grid(n, n, 1.0, 1.0);
    FemProblem p;
    p.name = "poisson2d-" + std::to_string(n);
    p.num_dofs = g.num_nodes();
    p.dofs_per_element = 4;
    p.load.assign(static_cast<std::size_t>(p.num_dofs), 0.0);
    p.element_dofs.reserve(static_cast<std::size_t>(g.num_elements()) * 4);
    p.element_matrices.reserve(static_cast<std::size_t>(g.num_elements()) * 16);
    for (long e = 0; e < g.num_elements(); ++e)
    {
        const Quad xy = g.corners(e);
        const auto ke = q4_poisson(xy);
        p.element_dofs.insert(p.element_dofs.end(), g.elements[e].begin(), g.elements[e].end());
        p.element_matrices.insert(p.element_matrices.end(), ke.begin(), ke.end());
        add_load(p, g.elements[e].data(), q4_source(xy, 1.0));
    }
    std::vector<long> boundary;
    for (Edge edge : {Edge::Bottom, Edge::Left, Edge::Right, Edge::Top})
    {
        const auto nodes = g.edge_nodes(edge);
        boundary.insert(boundary.end(), nodes.begin(), nodes.end());
    }
    fix_nodes_to_zero(p, std::move(boundary));
    p.probe_dof = g.node(n / 2, n / 2);
    return p;
}

FemProblem poisson_3d(int n)
{
    const HexGrid g = make_hex_grid(n, 1.0);
    FemProblem p;
    p.name = "poisson3d-" + std::to_string(n);
    p.num_dofs = g.num_nodes();
    p.dofs_per_element = 8;
    p.load.assign(static_cast<std::size_t>(p.num_dofs), 0.0);
    p.element_dofs.reserve(static_cast<std::size_t>(g.num_elements()) * 8);
    p.element_matrices.reserve(static_cast<std::size_t>(g.num_elements()) * 64);
    for (long e = 0; e < g.num_elements(); ++e)
    {
        const Hex xyz = g.corners(e);
        const auto ke = hex8_poisson(xyz);
        p.element_dofs.insert(p.element_dofs.end(), g.elements[e].begin(), g.elements[e].end());
        p.element_matrices.insert(p.element_matrices.end(), ke.begin(), ke.end());
        add_load(p, g.elements[e].data(), hex8_source(xyz, 1.0));
    }
    fix_nodes_to_zero(p, g.boundary_nodes());
    p.probe_dof = g.node(n / 2, n / 2, n / 2);
    return p;
}

FemProblem cantilever_plate(int nx, int ny, const PlateData& data)
{
    const QuadGrid g = make_quad_grid(nx, ny, data.length, data.height);
    FemProblem p;
    p.name = "plate-" + std::to_string(nx) + "x" + std::to_string(ny);
    p.num_dofs = 2 * g.num_nodes();
    p.dofs_per_element = 8;
    p.load.assign(static_cast<std::size_t>(p.num_dofs), 0.0);
    p.element_dofs.reserve(static_cast<std::size_t>(g.num_elements()) * 8);
    p.element_matrices.reserve(static_cast<std::size_t>(g.num_elements()) * 64);
    for (long e = 0; e < g.num_elements(); ++e)
    {
        const auto ke = q4_plane_stress(g.corners(e), data.young, data.poisson, data.thickness);
        for (long node : g.elements[e])
        {
            p.element_dofs.push_back(2 * node);
            p.element_dofs.push_back(2 * node + 1);
        }
        p.element_matrices.insert(p.element_matrices.end(), ke.begin(), ke.end());
    }
    // Traction on the loaded edge x = L, segment by segment.
    for (int j = 0; j < ny; ++j)
    {
        const long a = g.node(nx, j), b = g.node(nx, j + 1);
        const auto fe = edge_traction(g.nodes[a], g.nodes[b], 0.0, data.traction, data.thickness);
        const long dofs[4] = {2 * a, 2 * a + 1, 2 * b, 2 * b + 1};
        add_load(p, dofs, fe);
    }
    // Clamped edge, then the prop; the prop's DOF lies above every clamped one of row 0 and
    // below those of row 1, so the list is kept ascending by inserting it in order.
    for (long node : g.edge_nodes(Edge::Left))
    {
        p.fixed_dofs.push_back(2 * node);
        p.fixed_dofs.push_back(2 * node + 1);
    }
    p.fixed_values.assign(p.fixed_dofs.size(), 0.0);
    const long prop = 2 * g.node(nx / 2, 0) + 1;
    const auto at = std::lower_bound(p.fixed_dofs.begin(), p.fixed_dofs.end(), prop);
    p.fixed_values.insert(p.fixed_values.begin() + (at - p.fixed_dofs.begin()), data.prop);
    p.fixed_dofs.insert(at, prop);
    p.probe_dof = 2 * g.node(nx, ny / 2) + 1;
    return p;
}

double block_tip_deflection(const BlockData& d)
{
    const double P = d.traction * d.width * d.height;
    const double I = d.width * std::pow(d.height, 3) / 12.0;
    const double G = d.young / (2.0 * (1.0 + d.poisson));
    return P * std::pow(d.length, 3) / (3.0 * d.young * I) +
           P * d.length / (5.0 / 6.0 * G * d.width * d.height);
}

FemProblem elastic_block(int nx, int ny, int nz, const BlockData& data)
{
    const HexGrid g = make_box_grid(nx, ny, nz, data.length, data.width, data.height);
    FemProblem p;
    p.name = "block-" + std::to_string(nx) + "x" + std::to_string(ny) + "x" + std::to_string(nz);
    p.num_dofs = 3 * g.num_nodes();
    p.dofs_per_element = 24;
    p.load.assign(static_cast<std::size_t>(p.num_dofs), 0.0);
    p.element_dofs.reserve(static_cast<std::size_t>(g.num_elements()) * 24);
    p.element_matrices.reserve(static_cast<std::size_t>(g.num_elements()) * 576);
    // Every element is a translate of the first box, and translation leaves K unchanged.
    const auto ke = hex8_elasticity(g.corners(0), data.young, data.poisson);
    for (long e = 0; e < g.num_elements(); ++e)
    {
        for (long node : g.elements[e])
            for (long c = 0; c < 3; ++c) p.element_dofs.push_back(3 * node + c);
        p.element_matrices.insert(p.element_matrices.end(), ke.begin(), ke.end());
    }
    // Traction on the loaded face x = L: the x-high face (corners 1, 2, 6, 5) of the last layer.
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
        {
            const long face[4] = {g.node(nx, j, k), g.node(nx, j + 1, k), g.node(nx, j + 1, k + 1),
                                  g.node(nx, j, k + 1)};
            const auto fe = quad_face_traction(
                {g.nodes[face[0]], g.nodes[face[1]], g.nodes[face[2]], g.nodes[face[3]]},
                {0.0, 0.0, data.traction});
            for (int a = 0; a < 4; ++a)
                for (int c = 0; c < 3; ++c) p.load[3 * face[a] + c] += fe[3 * a + c];
        }
    for (long node : g.face_nodes(Face::XLow))  // ascending nodes give ascending DOFs (P3)
        for (long c = 0; c < 3; ++c) p.fixed_dofs.push_back(3 * node + c);
    p.fixed_values.assign(p.fixed_dofs.size(), 0.0);
    p.probe_dof = 3 * g.node(nx, ny / 2, nz / 2) + 2;
    return p;
}

}  // namespace tarvel_fem
