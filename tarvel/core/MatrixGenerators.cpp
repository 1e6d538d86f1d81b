// Test-matrix generators of CMatrix: random patterns, triangular patterns, a value along a row
// or column, random well-conditioned matrices, and the deviator (diagonal minus its mean).
// Sizing always goes through the virtual four-argument Allocate, so an array of the same total
// size is kept. Random numbers come from TarvelRand (0 .. TARVEL_RAND_MAX).
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Random.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <new>

namespace
{

// 1 / 32767: maps a random draw r to [0, 1].
constexpr double kInvRandMax = 3.051850947599719e-05;

}  // namespace

// Fills the pattern of kind with r ((hi - lo) / 32767) + lo, one draw per element in row-major
// order, after reseeding with the time in seconds:
//    0 every element (not initialized first)     1 lower triangle with the diagonal
//    2 upper triangle with the diagonal         -1 strictly lower        -2 strictly upper
// (kinds 1, 2, -1, -2 start from zeros). Any other kind leaves the matrix untouched.
// Every column range is clipped to the matrix, so a tall matrix never writes past its rows.
void CMatrix::RandMat(int rows, int cols, double hi, double lo, int kind)
{
    TarvelSrand(static_cast<unsigned>(time(nullptr)));
    const double scale = (hi - lo) * kInvRandMax;
    auto draw = [scale, lo] { return static_cast<double>(TarvelRand()) * scale + lo; };
    if (kind == 0)
    {
        if (!Allocate(rows, cols, false, 0.0)) return;
        for (double *x = m_pData, *end = m_pData + m_nSize; x != end; ++x) *x = draw();
        return;
    }
    if (kind != 1 && kind != 2 && kind != -1 && kind != -2) return;
    if (!Allocate(rows, cols, true, 0.0)) return;
    for (int i = 0; i < rows; ++i)
    {
        int from = 0;
        int to = 0;  // columns from .. to-1
        switch (kind)
        {
        case 1:
            from = 0, to = std::min(i, cols - 1) + 1;
            break;
        case 2:
            from = i, to = cols;
            break;
        case -1:
            from = 0, to = std::min(i, cols);
            break;
        default:
            from = i + 1, to = cols;
            break;
        }
        double* row = m_pData + static_cast<long>(i) * cols;
        for (int j = from; j < to; ++j) row[j] = draw();
    }
}

// Lower triangular pattern: off below the diagonal, diag on it, 0.0 above; with add (honoured
// only when the matrix already holds rows * cols elements) off and diag are added instead and
// the upper part is kept.
void CMatrix::LMat(int rows, int cols, double off, double diag, bool add)
{
    add = add && m_nSize == rows * cols;
    if (!Allocate(rows, cols, false, 0.0)) return;
    for (int i = 0; i < rows; ++i)
    {
        double* row = m_pData + static_cast<long>(i) * cols;
        for (int j = 0; j < cols; ++j)
        {
            if (j < i)
                row[j] = add ? row[j] + off : off;
            else if (j == i)
                row[j] = add ? row[j] + diag : diag;
            else if (!add)
                row[j] = 0.0;
        }
    }
}

// The upper mirror of LMat: 0.0 below, diag on, off above the diagonal.
void CMatrix::UMat(int rows, int cols, double off, double diag, bool add)
{
    add = add && m_nSize == rows * cols;
    if (!Allocate(rows, cols, false, 0.0)) return;
    for (int i = 0; i < rows; ++i)
    {
        double* row = m_pData + static_cast<long>(i) * cols;
        for (int j = 0; j < cols; ++j)
        {
            if (j > i)
                row[j] = add ? row[j] + off : off;
            else if (j == i)
                row[j] = add ? row[j] + diag : diag;
            else if (!add)
                row[j] = 0.0;
        }
    }
}

// Sets (or, with add, adds) v along row k, or along column k from the last row up.
void CMatrix::SetVals(int k, double v, bool add, bool row)
{
    const int cols = columns();
    if (row)
    {
        double* r = m_pData + static_cast<long>(k) * cols;
        for (int j = 0; j < cols; ++j) r[j] = add ? r[j] + v : v;
        return;
    }
    for (int i = m_nRows - 1; i >= 0; --i)
    {
        double& x = m_pData[index_of(i, k, cols)];
        x = add ? x + v : v;
    }
}

// A random matrix with exactly one non-zero per row, in [1 - spread/2, 1 + spread/2]:
//   -- 1. zeros, and a work vector w = (0, 1, 2, ...) of max(rows, cols) elements;
//   -- 2. rows > cols: w_t = w[floor(r (cols-1) / 32767)] for t = cols .. rows-1 (columns
//         that will be used twice);
//   -- 3. row i takes the column w_k, k = floor(r (rows-1) / 32767), marking w_k used (-1.0);
//         a used k moves on to k+1, and past the first rows elements the first unused one is
//         taken; the value is r' spread / 32767 + 1 - spread / 2.
// Only the first rows elements of w are taken, each once: a square result is a permutation
// pattern. Nothing is filled when the work vector cannot be allocated.
void CMatrix::WellCond(int rows, int cols, double spread)
{
    // -- 1. Zeros and the column list --
    if (!Allocate(rows, cols, true, 0.0)) return;
    const int nw = std::max(rows, cols);
    std::unique_ptr<double[]> w(new (std::nothrow) double[static_cast<std::size_t>(nw)]);
    if (!w) return;
    for (int t = 0; t < nw; ++t) w[t] = static_cast<double>(t);
    constexpr double kUsed = -1.0;

    // -- 2. Extra rows reuse random columns --
    for (int t = cols; t < rows; ++t)
        w[t] = w[static_cast<long long>(TarvelRand()) * (cols - 1) / TARVEL_RAND_MAX];

    // -- 3. One column per row --
    for (int i = 0; i < rows; ++i)
    {
        int k =
            static_cast<int>(static_cast<long long>(TarvelRand()) * (rows - 1) / TARVEL_RAND_MAX);
        while (w[k] == kUsed)
        {
            if (++k >= rows)
            {
                k = 0;
                while (w[k] == kUsed) ++k;  // an unused one exists: i < rows were taken
                break;
            }
        }
        const int c = static_cast<int>(w[k]);
        w[k] = kUsed;
        const double r = static_cast<double>(TarvelRand());
        m_pData[index_of(i, c, cols)] = r * spread * kInvRandMax + 1.0 - spread * 0.5;
    }
}

// a_ii -= trace / min(rows, columns). Declared const, yet it changes the diagonal in place.
void CMatrix::Dev() const
{
    const int cols = columns();
    const int n = std::min(m_nRows, cols);
    const double mean = Trace() / n;
    for (int i = 0; i < n; ++i) m_pData[index_of(i, i, cols)] -= mean;
}
