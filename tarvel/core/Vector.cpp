// CVector storage, arithmetic, comparisons and reductions. The archive form is in
// VectorArchive.cpp, the rotation-vector conversion in Rotations.cpp.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/Vector.h>
#include <tarvel/core/detail/DenseKernels.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

IMPLEMENT_SERIAL(CVector, CVirtRealMat, 1)

namespace
{

// A zero-filled array of n > 0 doubles, or null when no storage can be obtained.
double* new_zeroed(int n) { return new (std::nothrow) double[static_cast<std::size_t>(n)](); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and storage

CVector::CVector() : m_nSize(0), m_pData(nullptr) {}

CVector::CVector(int n, bool init, double value) : m_nSize(0), m_pData(nullptr)
{
    if (n <= 0) return;
    m_pData = new_zeroed(n);
    if (!m_pData) return;  // V1: an empty vector when no storage was obtained
    m_nSize = n;
    if (init) std::fill_n(m_pData, n, value);
}

CVector::CVector(const CVector* other) : m_nSize(0), m_pData(nullptr)
{
    if (other) *this = *other;
}

CVector::CVector(const CVector& other) : CVirtRealMat(other), m_nSize(0), m_pData(nullptr)
{
    *this = other;
}

CVector::CVector(CVector&& other) noexcept
    : CVirtRealMat(std::move(other)), m_nSize(other.m_nSize), m_pData(other.m_pData)
{
    other.m_nSize = 0;
    other.m_pData = nullptr;
}

CVector::~CVector() { delete[] m_pData; }

void CVector::release()
{
    delete[] m_pData;
    m_pData = nullptr;
    m_nSize = 0;
}

// A new size releases the old array; an array of the same size is kept with its contents.
// False for n = 0 (empty), for a negative n and when no storage is obtained (empty, V1).
bool CVector::Allocate(int n, bool init, double value)
{
    if (n != m_nSize) release();
    if (n <= 0)
    {
        release();
        return false;
    }
    if (!m_pData)
    {
        m_pData = new_zeroed(n);
        if (!m_pData) return false;  // m_nSize is still 0
    }
    m_nSize = n;
    if (init) std::fill_n(m_pData, n, value);
    return true;
}

// dims: element count d[0] (read even for count 0); init = d[1] != 0 and value = d[2] when
// given, else true and 0.0. Always this class's own three-argument Allocate.
bool CVector::Allocate(int* dims, int count)
{
    const bool init = count >= 2 ? dims[1] != 0 : true;
    const double value = count >= 3 ? static_cast<double>(dims[2]) : 0.0;
    return CVector::Allocate(dims[0], init, value);
}

void CVector::SetVector(int n, double* array)
{
    delete[] m_pData;
    m_pData = array;
    m_nSize = n;
}

double* CVector::ReplaceVector(double* array, int n)
{
    double* old = m_pData;
    m_pData = array;
    m_nSize = n;
    return old;
}

void CVector::SwitchVectors(CVector* other)
{
    std::swap(m_pData, other->m_pData);
    std::swap(m_nSize, other->m_nSize);
    // A matrix that received a vector's array becomes a column of it.
    if (other->IsKindOf(RUNTIME_CLASS(CMatrix)))
        static_cast<CMatrix*>(other)->Resize(other->m_nSize, false);
}

// Keeps elements first .. last-1 (last < 1 or last > m_nSize: to the end). A vector without an
// array is left alone; so is a vector whose shorter array cannot be obtained.
void CVector::Trunc(int first, int last)
{
    if (!m_pData) return;
    if (last < 1 || last > m_nSize) last = m_nSize;
    double* kept = nullptr;
    int n = 0;
    if (first < last)
    {
        n = last - first;
        kept = new (std::nothrow) double[static_cast<std::size_t>(n)];
        if (!kept) return;
        std::copy(m_pData + first, m_pData + last, kept);
    }
    delete[] m_pData;
    m_pData = kept;
    m_nSize = n;
}

// ---------------------------------------------------------------------------------------------
// Assignment and element-wise arithmetic

CVector& CVector::operator=(const CVector& other)
{
    if (this == &other) return *this;
    if (m_nSize != other.m_nSize)
    {
        release();
        if (other.m_nSize <= 0 || !other.m_pData) return *this;
        m_pData = new_zeroed(other.m_nSize);
        if (!m_pData) return *this;  // empty (V1)
        m_nSize = other.m_nSize;
    }
    if (m_pData && other.m_pData) std::copy_n(other.m_pData, m_nSize, m_pData);
    return *this;
}

CVector& CVector::operator=(CVector&& other) noexcept
{
    if (this != &other)
    {
        std::swap(m_pData, other.m_pData);
        std::swap(m_nSize, other.m_nSize);
        other.release();
    }
    return *this;
}

CVirtRealMat& CVector::operator=(double v)
{
    Initialize(v);
    return *this;
}

void CVector::Initialize(double v) { std::fill_n(m_pData, m_nSize, v); }

CVirtRealMat& CVector::operator+=(double v)
{
    for (double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) *x += v;
    return *this;
}

CVector& CVector::operator*=(double f)
{
    Scale(f);
    return *this;
}

void CVector::Scale(double f) { tarvel::detail::scale_elements(m_pData, f, m_nSize); }

CVector& CVector::operator/=(double f)
{
    for (double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) *x /= f;
    return *this;
}

void CVector::Scale(const CVector* other)
{
    const double* y = other->m_pData;
    for (double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x, ++y) *x *= *y;
}

namespace
{

// this (+)= f_i(b) over max(n_this, n_b) elements: in place when this vector is at least as
// long (InPlace(x, y, n) on the common head, a dense kernel); otherwise a new array holds the
// combined head and the transformed tail of b. Step(x, y) updates an element present in both
// as InPlace does; Tail(y) gives an element only b has. Returns false, the vector unchanged,
// when the longer array cannot be obtained.
template <class InPlace, class Step, class Tail>
bool combine_into(double*& data, int& size, const CVector& b, InPlace in_place, Step step,
                  Tail tail)
{
    const double* y = b.m_pData;
    if (size >= b.m_nSize)
    {
        in_place(data, y, b.m_nSize);
        return true;
    }
    double* grown = new (std::nothrow) double[static_cast<std::size_t>(b.m_nSize)];
    if (!grown) return false;
    double* out = grown;
    for (const double *x = data, *end = data + size; x != end; ++x, ++y, ++out)
    {
        *out = *x;
        step(*out, *y);
    }
    for (const double* end = b.m_pData + b.m_nSize; y != end; ++y, ++out) *out = tail(*y);
    delete[] data;
    data = grown;
    size = b.m_nSize;
    return true;
}

}  // namespace

CVector& CVector::operator+=(const CVector& b)
{
    if (m_nSize == 0 && b.m_nSize == 0)
    {
        release();
        return *this;
    }
    combine_into(
        m_pData, m_nSize, b, tarvel::detail::add_elements, [](double& x, double y) { x += y; },
        [](double y) { return y; });
    return *this;
}

CVector& CVector::operator-=(const CVector& b)
{
    if (m_nSize == 0 && b.m_nSize == 0)
    {
        release();
        return *this;
    }
    combine_into(
        m_pData, m_nSize, b, tarvel::detail::subtract_elements, [](double& x, double y) { x -= y; },
        [](double y) { return -y; });
    return *this;
}

void CVector::Add(const CVector& b, double f)
{
    if (m_nSize == 0 && b.m_nSize == 0)
    {
        release();
        return;
    }
    combine_into(
        m_pData, m_nSize, b,
        [f](double* x, const double* y, long n)
        { tarvel::detail::add_scaled_elements(x, f, y, n); },
        [f](double& x, double y) { x += f * y; }, [f](double y) { return f * y; });
}

// this = a A + b B over max(n_A, n_B) elements, sized through the virtual Allocate (a matrix
// becomes a column, M3). Beyond the shorter operand only the longer one contributes.
CVector& CVector::LinComb(double a, const CVector& A, double b, const CVector& B)
{
    const int nA = A.m_nSize;
    const int nB = B.m_nSize;
    const int n = std::max(nA, nB);
    if (n == 0)
    {
        release();
        return *this;
    }
    // Same size: Allocate keeps the array, so this may be A or B (element i needs only A_i, B_i).
    if (!Allocate(n, false, 0.0)) return *this;
    const double* x = A.m_pData;
    const double* y = B.m_pData;
    double* z = m_pData;
    const int common = std::min(nA, nB);
    int i = 0;
    for (; i < common; ++i) z[i] = a * x[i] + b * y[i];
    for (; i < nA; ++i) z[i] = a * x[i];
    for (; i < nB; ++i) z[i] = b * y[i];
    return *this;
}

void CVector::CrossProd(const CVector* a, const CVector* b)
{
    if (!Allocate(3, false, 0.0)) return;
    const double* x = a->m_pData;
    const double* y = b->m_pData;
    m_pData[0] = x[1] * y[2] - x[2] * y[1];
    m_pData[1] = x[2] * y[0] - x[0] * y[2];
    m_pData[2] = x[0] * y[1] - x[1] * y[0];
}

void CVector::AddValues(long* idx, double* val, int n)
{
    for (int k = 0; k < n; ++k)
    {
        TARVEL_ASSERT(idx[k] < m_nSize, "CVector::AddValues: index at or above the size");
        if (idx[k] >= 0) m_pData[idx[k]] += val[k];
    }
}

// A running sum: x_0 = start, x_i = x_{i-1} + step.
void CVector::SetIncremental(double step, double start)
{
    if (m_nSize < 1) return;
    double* x = m_pData;
    x[0] = start;
    for (int i = 1; i < m_nSize; ++i) x[i] = x[i - 1] + step;
}

void CVector::AplusBC(double* a, const double* b, int n, double c)
{
    if (c == 0.0)
        tarvel::detail::add_elements(a, b, n);  // see the class comment
    else
        tarvel::detail::add_scaled_elements(a, c, b, n);
}

// ---------------------------------------------------------------------------------------------
// Exact comparisons

bool CVector::operator==(const CVector& b) const
{
    if (m_nSize != b.m_nSize) return false;
    const double* y = b.m_pData;
    for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x, ++y)
        if (!(*x == *y)) return false;
    return true;
}

bool CVector::operator==(double v) const
{
    for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x)
        if (!(*x == v)) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Reductions

double CVector::Sum() const
{
    double s = 0.0;
    for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) s += *x;
    return s;
}

double CVector::Mean() const { return Sum() / m_nSize; }

double CVector::Dot(const CVector& b) const
{
    const int n = std::min(m_nSize, b.m_nSize);
    double s = 0.0;
    const double* y = b.m_pData;
    for (const double *x = m_pData, *end = m_pData + n; x != end; ++x, ++y) s += *x * *y;
    return s;
}

double CVector::Length() const
{
    double s = 0.0;
    for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) s += *x * *x;
    return std::sqrt(s);
}

double CVector::Normalize()
{
    const double length = Length();
    if (length == 0.0) return 0.0;
    for (double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) *x /= length;
    return length;
}

double CVector::InfNorm() const
{
    double m = 0.0;
    for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x)
        if (std::fabs(*x) > m) m = std::fabs(*x);
    return m;
}

double CVector::ZeroNorm() const
{
    if (m_nSize < 1) return 0.0;
    double m = std::fabs(m_pData[0]);
    for (const double *x = m_pData + 1, *end = m_pData + m_nSize; x != end; ++x)
        if (std::fabs(*x) < m) m = std::fabs(*x);
    return m;
}

// p = 0: the element count; p = 1: sum |x_i|; otherwise (sum |x_i|^p)^(1/p) through pow.
double CVector::PNorm(double p) const
{
    if (p == 0.0) return static_cast<double>(m_nSize);
    double s = 0.0;
    if (p == 1.0)
    {
        for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) s += std::fabs(*x);
        return s;
    }
    for (const double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x)
        s += std::pow(std::fabs(*x), p);
    return std::pow(s, 1.0 / p);
}

// First element of the largest value: the scan moves only on a strictly larger one.
double& CVector::Max()
{
    double* best = m_pData;
    for (double *x = m_pData + 1, *end = m_pData + m_nSize; x < end; ++x)
        if (*x > *best) best = x;
    return *best;
}

double& CVector::Min()
{
    double* best = m_pData;
    for (double *x = m_pData + 1, *end = m_pData + m_nSize; x < end; ++x)
        if (*x < *best) best = x;
    return *best;
}

// Range first .. last-1; last < 1 means m_nSize, any other last is taken as given.
int CVector::Find(double v, int first, int last) const
{
    if (last < 1) last = m_nSize;
    for (int i = first; i < last; ++i)
        if (m_pData[i] == v) return i;
    return -1;
}

int CVector::Count(double v, int first, int last) const
{
    if (last < 1) last = m_nSize;
    int count = 0;
    for (int i = first; i < last; ++i)
        if (m_pData[i] == v) ++count;
    return count;
}
