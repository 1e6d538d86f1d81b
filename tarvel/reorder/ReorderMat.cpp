// CReorderMat: graph building, labels, measures (B_f, GetB, Env) and copying. The reorderings live in MinimumDegree.cpp, BackwardLabelling.cpp and
// TabuSearch.cpp, their output in ReorderOutput.cpp.
#include <tarvel/platform/Assert.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/detail/GraphMeasures.h>
#include <tarvel/reorder/detail/Transpose.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>
#include <utility>

namespace tarvel::detail
{

// B_f without dispatch: max |label(j) - label(i)| over the list of i, 0 for an empty list.
int GraphMeasures::band_of(const CReorderMat& g, int i)
{
    const long* label = g.m_pLabel;
    const long* list = g.m_ppData[i];
    const long L = label[i];
    long best = 0;
    for (int p = 0, len = g.m_pLength[i]; p < len; ++p)
        best = std::max(best, std::labs(label[list[p]] - L));
    return static_cast<int>(best);
}

namespace
{

// GetB's scan: the first DOF (lowest number) with the largest band(i); row 0 and 0 when all
// are 0.
template <class Band> int widest(int n, Band band, int& row)
{
    row = 0;
    int best = 0;
    for (int i = 0; i < n; ++i)
    {
        const int b = band(i);
        if (b > best)
        {
            best = b;
            row = i;
        }
    }
    return best;
}

// Env's scan: sum of band(i), accumulated in 64 bits (at most n * (n - 1) < 2^62), and the
// largest band(i).
template <class Band> long long summed(int n, Band band, int* pMax)
{
    long long sum = 0;
    int maxB = 0;
    for (int i = 0; i < n; ++i)
    {
        const int b = band(i);
        sum += b;
        maxB = std::max(maxB, b);
    }
    if (pMax != nullptr) *pMax = maxB;
    return sum;
}

int saturated(long long v) { return v > INT_MAX ? INT_MAX : static_cast<int>(v); }

}  // namespace

int GraphMeasures::bandwidth(const CReorderMat& g, int& row)
{
    return widest(
        g.m_nCount, [&](int i) { return band_of(g, i); }, row);
}

long long GraphMeasures::envelope(const CReorderMat& g, int* pMax)
{
    return summed(
        g.m_nCount, [&](int i) { return band_of(g, i); }, pMax);
}

// Counting sort of the list entries by value: O(n + entries).
Transpose::Transpose(const CReorderMat& g) : start(static_cast<size_t>(g.m_nCount) + 1, 0)
{
    const int n = g.m_nCount;
    for (int i = 0; i < n; ++i)
        for (int p = 0; p < g.m_pLength[i]; ++p) ++start[static_cast<size_t>(g.m_ppData[i][p]) + 1];
    for (int j = 0; j < n; ++j) start[j + 1] += start[j];
    idx.resize(static_cast<size_t>(start[n]));
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int i = 0; i < n; ++i)
        for (int p = 0; p < g.m_pLength[i]; ++p) idx[fill[g.m_ppData[i][p]]++] = i;
}

}  // namespace tarvel::detail

using tarvel::detail::GraphMeasures;

// ---- Construction, copying, destruction ----

CReorderMat::CReorderMat() = default;

CReorderMat::CReorderMat(int type) : m_nType(type) {}

CReorderMat::CReorderMat(const CReorderMat& other)
    : CArrayArray<long>(other), m_nStep(other.m_nStep), m_nType(other.m_nType)
{
    const int n = m_nCount;
    if (n != other.m_nCount) return;  // the lists could not be copied: stay empty
    bool ok = true;
    if (other.m_pLabel != nullptr)
    {
        m_pLabel = new (std::nothrow) long[static_cast<size_t>(n)];
        ok = m_pLabel != nullptr;
        if (ok) std::copy(other.m_pLabel, other.m_pLabel + n, m_pLabel);
    }
    if (ok && other.m_pTabu != nullptr)
    {
        m_pTabu = new (std::nothrow) long[static_cast<size_t>(n)];
        ok = m_pTabu != nullptr;
        if (ok) std::copy(other.m_pTabu, other.m_pTabu + n, m_pTabu);
    }
    if (!ok)
    {
        release_labels();
        RemoveAll();
    }
}

CReorderMat::CReorderMat(CReorderMat&& other) noexcept
    : CArrayArray<long>(std::move(other)), m_pLabel(std::exchange(other.m_pLabel, nullptr)),
      m_pTabu(std::exchange(other.m_pTabu, nullptr)),
      m_pList(std::exchange(other.m_pList, nullptr)), m_nStep(other.m_nStep), m_nType(other.m_nType)
{
}

CReorderMat& CReorderMat::operator=(const CReorderMat& other)
{
    if (this != &other)
    {
        CReorderMat copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CReorderMat& CReorderMat::operator=(CReorderMat&& other) noexcept
{
    if (this != &other)
    {
        release_labels();
        CArrayArray<long>::operator=(std::move(other));
        m_pLabel = std::exchange(other.m_pLabel, nullptr);
        m_pTabu = std::exchange(other.m_pTabu, nullptr);
        m_pList = std::exchange(other.m_pList, nullptr);
        m_nStep = other.m_nStep;
        m_nType = other.m_nType;
    }
    return *this;
}

CReorderMat::~CReorderMat() { release_labels(); }

void CReorderMat::release_labels() noexcept
{
    delete[] m_pTabu;
    delete[] m_pLabel;
    m_pTabu = nullptr;
    m_pLabel = nullptr;
}

bool CReorderMat::ensure_tabu()
{
    if (m_pTabu != nullptr || m_nCount <= 0) return true;
    m_pTabu = new (std::nothrow) long[static_cast<size_t>(m_nCount)];
    if (m_pTabu == nullptr) return false;
    std::fill(m_pTabu, m_pTabu + m_nCount, 0L);
    return true;
}

// ---- Building the graph ----

// 1. New n: new label (and, with type 1, stamp) arrays; 2. identity labels, zero stamps;
// 3. the lists as CArrayArray::Alloc leaves them. Any failed allocation leaves an empty graph.
void CReorderMat::Alloc(int n)
{
    if (n != m_nCount) release_labels();
    if (n > 0)
    {
        if (m_pLabel == nullptr) m_pLabel = new (std::nothrow) long[static_cast<size_t>(n)];
        if (m_nType == 1 && m_pTabu == nullptr)
            m_pTabu = new (std::nothrow) long[static_cast<size_t>(n)];
        if (m_pLabel == nullptr || (m_nType == 1 && m_pTabu == nullptr))
        {
            release_labels();
            CArrayArray<long>::Alloc(0);
            return;
        }
        for (int i = 0; i < n; ++i) m_pLabel[i] = i;
        if (m_nType == 1) std::fill(m_pTabu, m_pTabu + n, 0L);
    }
    CArrayArray<long>::Alloc(n);
    if (m_nCount != std::max(n, 0)) release_labels();
}

void CReorderMat::InsertDOFs(long* dofs, int mode, int k)
{
    if ((mode != 0 && mode != 1) || k < 1) return;
    for (int p = 0; p + 1 < k; ++p)
    {
        const long a = dofs[p];
        if (a < 0) continue;
        TARVEL_ASSERT(a < m_nCount, "CReorderMat::InsertDOFs: DOF at or above the count");
        for (int q = p + 1; q < k; ++q)
        {
            const long b = dofs[q];
            if (b < 0) continue;
            TARVEL_ASSERT(b < m_nCount, "CReorderMat::InsertDOFs: DOF at or above the count");
            if (mode == 0)
            {
                ++m_pLength[b];  // an upper bound of the final degree: repeated pairs recount
                ++m_pLength[a];
            }
            else if (CReorderMat::Find(static_cast<int>(a), static_cast<int>(b)) == -1 &&
                     m_ppData[a] != nullptr && m_ppData[b] != nullptr)
            {
                // The count pass reserved a slot for every pair: no capacity check (G1).
                m_ppData[a][m_pLength[a]++] = b;
                m_ppData[b][m_pLength[b]++] = a;
            }
        }
    }
}

void CReorderMat::Init()
{
    for (int i = 0; i < m_nCount; ++i)
    {
        const int slots = m_pLength[i];
        delete[] m_ppData[i];
        m_ppData[i] = slots > 0 ? new (std::nothrow) long[static_cast<size_t>(slots)] : nullptr;
        if (m_ppData[i] != nullptr) std::fill(m_ppData[i], m_ppData[i] + slots, -1L);
        m_pLength[i] = 0;
    }
}

int CReorderMat::Find(int value, int row) const
{
    TARVEL_ASSERT(row >= 0 && row < m_nCount, "CReorderMat::Find: row outside the graph");
    const long* list = m_ppData[row];
    for (int p = 0, len = m_pLength[row]; p < len; ++p)
        if (list[p] == value) return p;
    return -1;
}

bool CReorderMat::Check() const
{
    for (int i = 0; i < m_nCount; ++i)
    {
        const long* list = m_ppData[i];
        for (int p = 0; p < m_pLength[i]; ++p)
            for (int q = p + 1; q < m_pLength[i]; ++q)
                if (list[p] == list[q]) return false;
    }
    return true;
}

int CReorderMat::GetRows() const { return m_nCount; }

// ---- Labels ----

int CReorderMat::f_v(int dof) const
{
    TARVEL_ASSERT(dof >= 0 && dof < m_nCount, "CReorderMat::f_v: DOF outside the graph");
    return static_cast<int>(m_pLabel[dof]);
}

int CReorderMat::f_v_inv(int label) const
{
    TARVEL_ASSERT(label >= 0 && label < m_nCount && m_pTabu,
                  "CReorderMat::f_v_inv: label outside the graph or no PostReorder");
    return static_cast<int>(m_pTabu[label]);
}

void CReorderMat::InitLabels(int value)
{
    for (int i = 0; i < m_nCount; ++i) m_pLabel[i] = value;
}

void CReorderMat::PostReorder()
{
    if (m_pTabu == nullptr && m_nCount > 0)
    {
        m_pTabu = new (std::nothrow) long[static_cast<size_t>(m_nCount)];
        if (m_pTabu == nullptr) return;
    }
    for (int i = 0; i < m_nCount; ++i)
    {
        const long label = m_pLabel[i];
        if (label >= 0 && label < m_nCount) m_pTabu[label] = i;  // labels are a permutation (G3)
    }
}

void CReorderMat::GenRevCuthillMcKee() {}

// ---- Measures (through the virtual operations, as callers see them) ----

int CReorderMat::B_f(int dof) const
{
    const long L = f_v(dof);
    long best = 0;
    for (int p = 0; p < m_pLength[dof]; ++p)
        best = std::max(best, std::labs(f_v(static_cast<int>(m_ppData[dof][p])) - L));
    return static_cast<int>(best);
}

int CReorderMat::GetB(int& row) const
{
    return tarvel::detail::widest(
        m_nCount, [this](int i) { return B_f(i); }, row);
}

int CReorderMat::Env(int* pMax) const { return tarvel::detail::saturated(Env64(pMax)); }

long long CReorderMat::Env64(int* pMax) const
{
    return tarvel::detail::summed(
        m_nCount, [this](int i) { return B_f(i); }, pMax);
}

long long CReorderMat::Profile64() const
{
    long long sum = 0;
    for (int i = 0; i < m_nCount; ++i)
    {
        const long L = f_v(i);
        long low = L;
        for (int p = 0; p < m_pLength[i]; ++p)
            low = std::min(low, static_cast<long>(f_v(static_cast<int>(m_ppData[i][p]))));
        sum += L - low;
    }
    return sum;
}
