// Degree-of-freedom graphs for tests: element lists of structured grids and random meshes, the
// three-pass build of a CReorderMat, its lists and labels as plain vectors, an independent
// recount of bandwidth, envelope and profile, and a scope that points the reordering script
// elsewhere.
#pragma once

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tarvel_test
{

using ElementList = std::vector<std::vector<long>>;
using Lists_t = std::vector<std::vector<long>>;
using Labels_t = std::vector<long>;

// nx-by-ny four-node elements on (nx+1)(ny+1) nodes, one DOF per node; node (i, j) is
// j (nx+1) + i; elements row by row, corners counter-clockwise from the lower left.
inline ElementList GridElements(int nx, int ny)
{
    ElementList elements;
    const long w = nx + 1;
    for (long j = 0; j < ny; ++j)
        for (long i = 0; i < nx; ++i)
            elements.push_back({j * w + i, j * w + i + 1, (j + 1) * w + i + 1, (j + 1) * w + i});
    return elements;
}

// count elements of 1 .. maxNodes distinct DOFs from 0 .. n-1; each entry is replaced by -1
// with probability negativeShare, and with probability repeatShare an element repeats one of
// its DOFs (a malformed element: the graph then fails Check).
inline ElementList RandomElements(std::mt19937& rng, int n, int count, int maxNodes,
                                  double negativeShare = 0.0, double repeatShare = 0.0)
{
    std::uniform_int_distribution<int> size(1, std::max(1, std::min(maxNodes, n)));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<long> all(static_cast<size_t>(n));
    std::iota(all.begin(), all.end(), 0L);
    ElementList elements;
    for (int e = 0; e < count; ++e)
    {
        std::shuffle(all.begin(), all.end(), rng);
        std::vector<long> element(all.begin(), all.begin() + size(rng));
        if (unit(rng) < repeatShare) element.push_back(element.front());
        for (long& dof : element)
            if (unit(rng) < negativeShare) dof = -1;
        elements.push_back(element);
    }
    return elements;
}

// Count pass, Init, fill pass.
inline void BuildGraph(CReorderMat& g, int n, ElementList elements)
{
    g.Alloc(n);
    for (auto& e : elements) g.InsertDOFs(e.data(), 0, static_cast<int>(e.size()));
    g.Init();
    for (auto& e : elements) g.InsertDOFs(e.data(), 1, static_cast<int>(e.size()));
}

inline Lists_t Lists(const CArrayArray<long>& g)
{
    Lists_t lists;
    for (int i = 0; i < g.m_nCount; ++i)
        lists.emplace_back(g.m_ppData[i], g.m_ppData[i] + g.m_pLength[i]);
    return lists;
}

inline Labels_t Labels(const CReorderMat& g)
{
    return Labels_t(g.m_pLabel, g.m_pLabel + g.m_nCount);
}

inline bool IsPermutation(Labels_t labels)
{
    std::sort(labels.begin(), labels.end());
    for (size_t i = 0; i < labels.size(); ++i)
        if (labels[i] != static_cast<long>(i)) return false;
    return true;
}

// Bandwidth, envelope and profile recounted from plain vectors: for every stored pair (i, j),
// |label distance| counts towards DOF i's reach, labels[i] - labels[j] towards its reach below.
struct Measures
{
    long bandwidth = 0;
    long long envelope = 0, profile = 0;
};
inline Measures Recount(const Lists_t& lists, const Labels_t& labels)
{
    Measures m;
    for (size_t i = 0; i < lists.size(); ++i)
    {
        long reach = 0, below = 0;
        for (long j : lists[i])
        {
            reach = std::max(reach, std::labs(labels[j] - labels[i]));
            below = std::max(below, labels[i] - labels[j]);
        }
        m.bandwidth = std::max(m.bandwidth, reach);
        m.envelope += reach;
        m.profile += below;
    }
    return m;
}

// Points the reordering script file at path for the lifetime of the scope.
struct ScriptPathScope
{
    explicit ScriptPathScope(const std::string& path) { CReorderMat::SetScriptPath(path.c_str()); }
    ~ScriptPathScope() { CReorderMat::SetScriptPath(m_previous); }
    ScriptPathScope(const ScriptPathScope&) = delete;
    ScriptPathScope& operator=(const ScriptPathScope&) = delete;

    const CString m_previous = CReorderMat::GetScriptPath();  // initialized before the body runs
};

}  // namespace tarvel_test
