// CSkylineMatrix: storage. Construction and copies, the two ways of sizing the profile,
// element access, assembling, the diagonal and the console printout. The factorization and
// substitutions are in SkylineCholesky.cpp, the Gauss-Seidel iteration in
// SkylineGaussSeidel.cpp.
#include <tarvel/platform/Assert.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/skyline/SkylineMatrix.h>
#include <tarvel/skyline/detail/Invariants.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iostream>
#include <new>
#include <numeric>
#include <utility>

IMPLEMENT_SERIAL(CSkylineMatrix, CVirtRealMat, 1)

CSkylineMatrix::CSkylineMatrix() = default;

CSkylineMatrix::CSkylineMatrix(const CSkylineMatrix& other) : CVirtRealMat(other)
{
    if (other.m_nOrder <= 0) return;
    if (!allocate_columns(other.m_nOrder) || !allocate_values(other.m_nValues))
    {
        release();
        return;
    }
    std::copy(other.m_pHeight, other.m_pHeight + m_nOrder, m_pHeight);
    if (other.m_nValues > 0) std::copy(other.m_pValues, other.m_pValues + m_nValues, m_pValues);
    if (other.m_ppDiag[0] != nullptr)
        link_columns();  // the source has a profile (K2); rebuild it over the new array
}

CSkylineMatrix::CSkylineMatrix(CSkylineMatrix&& other) noexcept : CVirtRealMat(std::move(other))
{
    swap_storage(other);
}

CSkylineMatrix& CSkylineMatrix::operator=(const CSkylineMatrix& other)
{
    if (this != &other)
    {
        CSkylineMatrix copy(other);
        release();
        swap_storage(copy);
    }
    return *this;
}

CSkylineMatrix& CSkylineMatrix::operator=(CSkylineMatrix&& other) noexcept
{
    if (this != &other)
    {
        release();
        swap_storage(other);
    }
    return *this;
}

CSkylineMatrix::~CSkylineMatrix() { release(); }

void CSkylineMatrix::release() noexcept
{
    delete[] m_pValues;
    delete[] m_pHeight;
    delete[] m_ppDiag;
    delete[] m_pDiagIdx;
    m_pValues = nullptr;
    m_pHeight = nullptr;
    m_ppDiag = nullptr;
    m_pDiagIdx = nullptr;
    m_nValues = 0;
    m_nOrder = 0;
    m_pCurrent = nullptr;
}

void CSkylineMatrix::swap_storage(CSkylineMatrix& other) noexcept
{
    std::swap(m_pValues, other.m_pValues);
    std::swap(m_ppDiag, other.m_ppDiag);
    std::swap(m_pHeight, other.m_pHeight);
    std::swap(m_pDiagIdx, other.m_pDiagIdx);
    std::swap(m_nValues, other.m_nValues);
    std::swap(m_nOrder, other.m_nOrder);
    std::swap(m_pCurrent, other.m_pCurrent);
}

bool CSkylineMatrix::allocate_columns(int n)
{
    delete[] m_pHeight;
    delete[] m_ppDiag;
    delete[] m_pDiagIdx;
    m_nOrder = n;
    m_pHeight = new (std::nothrow) int[static_cast<size_t>(n)];
    m_ppDiag = new (std::nothrow) double*[static_cast<size_t>(n)]();
    m_pDiagIdx = new (std::nothrow) int[static_cast<size_t>(n)]();
    if (!m_pHeight || !m_ppDiag || !m_pDiagIdx) return false;
    std::fill(m_pHeight, m_pHeight + n, 1);
    return true;
}

bool CSkylineMatrix::allocate_values(int total)
{
    if (total != m_nValues)
    {
        delete[] m_pValues;
        m_pValues = nullptr;
        m_nValues = total;
    }
    if (m_pValues == nullptr && total > 0)
        m_pValues = new (std::nothrow) double[static_cast<size_t>(total)];
    return m_pValues != nullptr || total <= 0;
}

void CSkylineMatrix::link_columns() noexcept
{
    int idx = -1;
    for (int j = 0; j < m_nOrder; ++j)
    {
        idx += m_pHeight[j];
        m_pDiagIdx[j] = idx;
        m_ppDiag[j] = m_pValues ? m_pValues + idx : nullptr;
    }
}

// Steps: 1. {0} empties; 2. a new order gets new column tables; 3. {n} stops there; 4. T < n is
// a half-bandwidth b, rewritten to the band's size; 5. T values; 6. heights given or of the
// band; 7. every entry 0.0.
bool CSkylineMatrix::Allocate(int* dims, int nDims)
{
    // -- 1. Empty --
    if (nDims <= 0 || dims[0] == 0)
    {
        release();
        return true;
    }
    const int n = dims[0];
    if (n < 0) return false;

    // -- 2. Column tables of the new order --
    if (n != m_nOrder && !allocate_columns(n))
    {
        release();
        return false;
    }
    // -- 3. Order only --
    if (nDims == 1)
    {
        *this = 0.0;
        return true;
    }

    // -- 4. A half-bandwidth b stands for the band's size b(2n - b + 1)/2 --
    if (dims[1] < n)
    {
        const long long b = dims[1];
        dims[1] = static_cast<int>(b * (2LL * n - b + 1) / 2);
    }
    const int total = dims[1];

    // -- 5. The stored values --
    if (!allocate_values(total))
    {
        release();
        return false;
    }

    // -- 6. Heights --
    if (nDims >= n + 2)
    {
        std::copy(dims + 2, dims + 2 + n, m_pHeight);
        TARVEL_ASSERT(std::accumulate(m_pHeight, m_pHeight + n, 0LL) == total,
                      "CSkylineMatrix::Allocate: the heights do not sum to the stored count");
    }
    else
    {
        // The b solving b(2n - b + 1)/2 = T, the smaller root of the quadratic, formed so that
        // every band size maps back to its b: floor(((2n + 1) - sqrt(4((n + 1)n + 0.25) - 8T)
        // + 1) / 2).
        const double root = std::sqrt(4.0 * ((n + 1.0) * n + 0.25) - 8.0 * total);
        const double bd = std::floor(((2.0 * n + 1.0) - root + 1.0) * 0.5);
        const int b = bd >= 0.0 ? static_cast<int>(std::min(bd, double(n))) : 0;
        for (int j = 0; j < n; ++j) m_pHeight[j] = j < b ? j + 1 : b;
    }
    link_columns();
    TARVEL_ASSERT(tarvel::detail::profile_is_consistent(*this),
                  "CSkylineMatrix::Allocate: column heights inconsistent (K1-K3)");

    // -- 7. Zero --
    *this = 0.0;
    return true;
}

// Steps: 1. an empty graph empties the matrix; 2. a new order starts from heights 1, the same
// order from the previous heights; 3. every edge (w, u) with labels L >= k makes column L reach
// row k; 4. the values; 5. links and zeros.
bool CSkylineMatrix::Allocate(CReorderMat& graph)
{
    // -- 1. --
    const int n = graph.GetRows();
    if (n <= 0)
    {
        int empty = 0;
        return Allocate(&empty, 1);
    }
    // -- 2. --
    if (n != m_nOrder && !allocate_columns(n))
    {
        release();
        return false;
    }
    // -- 3. Column L reaches the lowest label k of a neighbour: height(L) >= L - k + 1 --
    int* height = m_pHeight;
    for (int k = 0; k < n; ++k)
    {
        const int u = graph.f_v_inv(k);
        const long* adj = graph.m_ppData[u];
        const int degree = graph.m_pLength[u];
        for (int e = 0; e < degree; ++e)
        {
            const int L = graph.f_v(static_cast<int>(adj[e]));
            if (L - k + 1 > height[L]) height[L] = L - k + 1;
        }
    }
    // -- 4. --
    long long total = 0;
    for (int j = 0; j < n; ++j) total += height[j];
    if (total > INT_MAX || !allocate_values(static_cast<int>(total)))
    {
        release();
        return false;
    }
    // -- 5. --
    link_columns();
    TARVEL_ASSERT(tarvel::detail::profile_is_consistent(*this),
                  "CSkylineMatrix::Allocate: column heights inconsistent (K1-K3)");
    *this = 0.0;
    return true;
}

double& CSkylineMatrix::operator()(int i, int j)
{
    TARVEL_ASSERT(j >= 0 && j < m_nOrder && m_ppDiag && i <= j && i >= PeakRow(j),
                  "CSkylineMatrix::operator(): (i, j) outside the profile");
    m_pCurrent = m_ppDiag[j] + (i - j);  // K2
    return *m_pCurrent;
}

int CSkylineMatrix::PeakRow(int j) const
{
    TARVEL_ASSERT(j >= 0 && j < m_nOrder, "CSkylineMatrix::PeakRow: column outside the matrix");
    return j - m_pHeight[j] + 1;
}

CVirtRealMat& CSkylineMatrix::operator=(double v)
{
    std::fill(m_pValues, m_pValues + std::max(m_nValues, 0), v);
    return *this;
}

CVirtRealMat& CSkylineMatrix::operator+=(double v)
{
    for (int k = 0; k < m_nValues; ++k) m_pValues[k] += v;
    return *this;
}

// Only the upper triangle is stored: entry (r, c) of the element goes to (I, J) = (dofs[r],
// dofs[c]) when 0 <= I <= J; its mirror image (c, r) lands on the same stored element and is
// not added a second time.
void CSkylineMatrix::AddValues(long* dofs, double* ke, int k)
{
    double* const* diag = m_ppDiag;
    for (int r = 0; r < k; ++r)
    {
        const long I = dofs[r];
        if (I < 0) continue;
        const double* row = ke + static_cast<long>(r) * k;
        for (int c = 0; c < k; ++c)
        {
            const long J = dofs[c];
            const double v = row[c];
            TARVEL_ASSERT(!(J >= I && v != 0.0) || (J < m_nOrder && I >= J - m_pHeight[J] + 1),
                          "CSkylineMatrix::AddValues: an entry outside the profile");
            if (J >= I && v != 0.0) diag[J][I - J] += v;  // element (I, J), K2
        }
    }
}

double* CSkylineMatrix::DiagVect() const
{
    if (m_nOrder <= 0) return nullptr;
    double* d = new (std::nothrow) double[static_cast<size_t>(m_nOrder)];
    if (d == nullptr) return nullptr;
    for (int j = 0; j < m_nOrder; ++j) d[j] = *m_ppDiag[j];
    return d;
}

void CSkylineMatrix::COUT(const char* sep) const
{
    for (int r = 0; r < m_nOrder; ++r)
    {
        for (int c = 0; c < m_nOrder; ++c)
        {
            if (PeakRow(c) <= r && r <= c)
                std::cout << m_ppDiag[c][r - c] << sep;
            else
                std::cout << 0 << sep;
        }
        std::cout << std::endl;
    }
}
