// Shared steps of the system-matrix and skyline roads (contracts in Roads.h).
#include "fem/Roads.h"

#include <algorithm>

namespace tarvel_fem
{
namespace
{

long renumbered(const std::vector<long>& number, long d) { return number.empty() ? d : number[d]; }

}  // namespace

long stored_entries(const CSystSpMat& K)
{
    long count = 0;
    for (int i = 0; i < K.m_nRowArraySize; ++i)
        for (const CSparseMatrix::cell* c = K.m_pRowArray[i].m_pFirstCell; c; c = c->m_pNext)
            ++count;
    return count;
}

void build_free_graph(CReorderMat& g, const FemProblem& p, const std::vector<long>& number)
{
    const int k = p.dofs_per_element;
    std::vector<long> dofs(static_cast<std::size_t>(k));
    g.Alloc(static_cast<int>(p.num_dofs));
    for (int mode : {0, 1})  // the count pass sizes the lists the fill pass writes
    {
        if (mode == 1) g.Init();
        for (long e = 0; e < p.num_elements(); ++e)
        {
            p.free_dofs(e, dofs.data());
            for (long& d : dofs) d = d < 0 ? -1 : renumbered(number, d);
            g.InsertDOFs(dofs.data(), mode, k);
        }
    }
}

void profile_of(const CReorderMat& g, double& values, double& work)
{
    // Column L = f_v(u) reaches up to its lowest-labelled neighbour: h_L = L - lowest + 1.
    values = work = 0.0;
    for (int u = 0; u < g.GetRows(); ++u)
    {
        const int L = g.f_v(u);
        int lowest = L;
        for (int e = 0; e < g.m_pLength[u]; ++e)
            lowest = std::min(lowest, g.f_v(static_cast<int>(g.m_ppData[u][e])));
        const double h = L - lowest + 1.0;
        values += h;
        work += 0.5 * h * h;
    }
}

bool assemble_skyline(CSkylineMatrix& K, CMatrix& B, FemProblem& p, CReorderMat& g,
                      const std::vector<long>& number)
{
    auto label = [&](long d) { return g.f_v(static_cast<int>(renumbered(number, d))); };
    if (!K.Allocate(g)) return false;
    const int k = p.dofs_per_element;
    std::vector<long> labels(static_cast<std::size_t>(k));
    for (long e = 0; e < p.num_elements(); ++e)
    {
        p.free_dofs(e, labels.data());
        for (long& d : labels) d = d < 0 ? -1 : label(d);
        K.AddValues(labels.data(), p.matrix(e), k);
    }
    for (long d : p.fixed_dofs) K(label(d), label(d)) = 1.0;  // a unit row gives back g_d
    const std::vector<double> b = eliminated_load(p);
    const int n = static_cast<int>(p.num_dofs);
    B = CMatrix(n, 1, true, 0.0);
    for (int d = 0; d < n; ++d) B(label(d), 0) = b[d];
    return true;
}

std::vector<double> solution_by_dof(const CMatrix& B, const CReorderMat& g,
                                    const std::vector<long>& number)
{
    const long n = g.GetRows();
    std::vector<double> u(static_cast<std::size_t>(n));
    for (long d = 0; d < n; ++d) u[d] = B.m_pData[g.f_v(static_cast<int>(renumbered(number, d)))];
    return u;
}

const std::vector<NamedReordering>& reorderings()
{
    static const std::vector<NamedReordering> table = {
        {"MinDegReorder", [](CReorderMat& g) { g.MinDegReorder(nullptr); }},
        {"MinDegReorder2", [](CReorderMat& g) { g.MinDegReorder2(); }},
        {"MinDegReorder3", [](CReorderMat& g) { g.MinDegReorder3(); }},
        {"MinDegReorder4", [](CReorderMat& g) { g.MinDegReorder4(); }},
        {"Hager1", [](CReorderMat& g) { g.Hager1(); }},
        {"Hager2", [](CReorderMat& g) { g.Hager2(); }},
        {"Hager3", [](CReorderMat& g) { g.Hager3(); }},
        {"TabuReorder", [](CReorderMat& g) { g.TabuReorder(); }},
        {"TabuReorder2", [](CReorderMat& g) { g.TabuReorder2(); }},
        {"RevCuthillMcKee", [](CReorderMat& g) { g.RevCuthillMcKee(); }},
        {"Sloan", [](CReorderMat& g) { g.Sloan(); }},
        {"SloanExchange", [](CReorderMat& g) { g.SloanExchange(); }},
    };
    return table;
}

}  // namespace tarvel_fem
