// Shared by the reorder tests: a graph type that exposes the protected steps of the algorithms,
// the small graphs worked by hand, scopes for the kernel path and TabuReorder's seed, and a
// fixture whose reorderings write into a fresh directory.
#pragma once

#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/Problems.h"
#include "support/ReorderSeams.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

namespace tarvel_test
{

struct GraphProbe : CReorderMat
{
    explicit GraphProbe(int type = 1) : CReorderMat(type) {}
    GraphProbe(int n, const ElementList& elements, int type = 1) : CReorderMat(type)
    {
        BuildGraph(*this, n, elements);
    }
    using CReorderMat::mid;
    using CReorderMat::S_k;
};

// Hand-worked graphs (lists in insertion order):
//  path 2-0-3-1:  0:[2,3] 1:[3] 2:[0] 3:[0,1]
//  star, hub 2:   0:[2] 1:[2] 2:[0,1,3] 3:[2]
//  two pieces:    0:[2] 1:[3] 2:[0] 3:[1]
inline const ElementList kPath = {{2, 0}, {0, 3}, {3, 1}};
inline const ElementList kStar = {{2, 0}, {2, 1}, {2, 3}};
inline const ElementList kPieces = {{0, 2}, {1, 3}};

// Sets the kernel path of the reorderings or the source of TabuReorder's seed (ReorderSeams.h)
// for the lifetime of the scope.
template <class T, T (*set)(T)> struct SeamScope
{
    explicit SeamScope(T value) : m_previous(set(value)) {}
    ~SeamScope() { set(m_previous); }
    SeamScope(const SeamScope&) = delete;
    SeamScope& operator=(const SeamScope&) = delete;

    const T m_previous;
};
using PathScope = SeamScope<ReorderPath, SetReorderPath>;
using SeedScope = SeamScope<SeedSource, SetTabuSeedSource>;

// Reorderings write their script into a fresh directory and their reports into m_messages.
class ReorderTest : public GlobalStateTest
{
protected:
    std::string Script() const { return read_bytes(m_dir.file("Reord.m")); }

    TempDir m_dir;
    ScriptPathScope m_script{m_dir.file("Reord.m")};
};

}  // namespace tarvel_test
