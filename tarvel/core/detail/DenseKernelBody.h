// The dense kernels written once over vector types; DenseKernels.cpp includes this file inside
// one namespace per instruction set, after defining there a struct per vector width, each with
//   Vec, kWidth;   zero(), load(p), store(p, x), splat(a), add, sub, mul
// and naming them:
//   Wide         the widest vector;   kTileRows x kTileVecs  its register tile
//   Narrower     Widths<...> (DenseKernels.cpp) of the narrower ones, down to the scalar: the columns that do not
//                fill a wide vector take these in turn, so no load or store is ever masked (a
//                masked store does not forward to a later load on every processor)
// No include guard and no includes: the enclosing namespace and instruction set change.
// Multiplications and additions stay separate instructions (one rounding each) on every set.

constexpr int kPanelDepth = 256;  // k of one pass over C: a panel of B stays in cache

// -- Product tile: M rows x V vectors of C, k = 0 .. kc-1 of the panel --
// start: c = 0.0 + sum (the first panel); otherwise c += sum, which continues the same sequence
// of additions (an element stored and loaded again is unchanged).
template <class K, int M, int V>
inline void product_tile(const double* a, long lda, const double* b, long ldb, double* c, long ldc,
                         int kc, bool start)
{
    using Vec = typename K::Vec;
    Vec acc[M][V];
#pragma GCC unroll 8
    for (int m = 0; m < M; ++m)
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
            acc[m][v] = start ? K::zero() : K::load(c + m * ldc + v * K::kWidth);
    for (int k = 0; k < kc; ++k)
    {
        const double* b_k = b + k * ldb;
        Vec b_kj[V];
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) b_kj[v] = K::load(b_k + v * K::kWidth);
#pragma GCC unroll 8
        for (int m = 0; m < M; ++m)
        {
            const Vec a_ik = K::splat(a[m * lda + k]);
#pragma GCC unroll 8
            for (int v = 0; v < V; ++v) acc[m][v] = K::add(acc[m][v], K::mul(a_ik, b_kj[v]));
        }
    }
#pragma GCC unroll 8
    for (int m = 0; m < M; ++m)
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) K::store(c + m * ldc + v * K::kWidth, acc[m][v]);
}

// The rows of one column strip in tiles of kTileRows, the last rows in one smaller tile.
template <class K, int V, int M = kTileRows>
inline void product_strip(const double* a, long lda, const double* b, long ldb, double* c, long ldc,
                          int r, int kc, bool start)
{
    if constexpr (M == kTileRows)
    {
        int i = 0;
        for (; i + M <= r; i += M)
            product_tile<K, M, V>(a + i * lda, lda, b, ldb, c + i * ldc, ldc, kc, start);
        a += i * lda;
        c += i * ldc;
        r -= i;
        if (r == 0) return;
    }
    if constexpr (M > 1)
    {
        if (r < M) return product_strip<K, V, M - 1>(a, lda, b, ldb, c, ldc, r, kc, start);
    }
    product_tile<K, M, V>(a, lda, b, ldb, c, ldc, kc, start);
}

// Columns j .. n-1 in strips of single vectors of each narrower width in turn.
inline void product_tail(Widths<>, const double*, long, const double*, long, double*, long, int,
                         int, bool, int, int)
{
}
template <class K, class... Rest>
inline void product_tail(Widths<K, Rest...>, const double* a, long lda, const double* b, long ldb,
                         double* c, long ldc, int r, int kc, bool start, int j, int n)
{
    for (; j + K::kWidth <= n; j += K::kWidth)
        product_strip<K, 1>(a, lda, b + j, ldb, c + j, ldc, r, kc, start);
    product_tail(Widths<Rest...>{}, a, lda, b, ldb, c, ldc, r, kc, start, j, n);
}

// C = A B by panels of kPanelDepth values of k; within a panel, strips of wide tiles down all
// rows (each strip of the panel of B is read from cache by every row tile), then the columns
// left over in narrower vectors.
inline void product(const double* a, long lda, const double* b, long ldb, double* c, long ldc,
                    int r, int m, int n)
{
    if (m == 0)  // empty sums
    {
        for (int i = 0; i < r; ++i)
            for (int j = 0; j < n; ++j) c[i * ldc + j] = 0.0;
        return;
    }
    constexpr int kTileLanes = kTileVecs * Wide::kWidth;
    for (int k0 = 0; k0 < m; k0 += kPanelDepth)
    {
        const int kc = std::min(kPanelDepth, m - k0);
        const bool start = k0 == 0;
        const double* a_k = a + k0;
        const double* b_k = b + k0 * ldb;
        int j = 0;
        for (; j + kTileLanes <= n; j += kTileLanes)
            product_strip<Wide, kTileVecs>(a_k, lda, b_k + j, ldb, c + j, ldc, r, kc, start);
        for (; j + Wide::kWidth <= n; j += Wide::kWidth)
            product_strip<Wide, 1>(a_k, lda, b_k + j, ldb, c + j, ldc, r, kc, start);
        product_tail(Narrower{}, a_k, lda, b_k, ldb, c, ldc, r, kc, start, j, n);
    }
}

// y_i += sum_j a_ij x_j: eight rows at a time, each sum a chain of its own in increasing j, so
// the chains overlap in the pipeline while every sum keeps its order.
inline void row_dots(const double* a, long lda, const double* x, double* y, int r, int n)
{
    constexpr int R = 8;
    int i = 0;
    for (; i + R <= r; i += R)
    {
        double s[R] = {};
        const double* a_i = a + i * lda;
        for (int j = 0; j < n; ++j)
        {
            const double x_j = x[j];
#pragma GCC unroll 8
            for (int q = 0; q < R; ++q) s[q] += a_i[q * lda + j] * x_j;
        }
#pragma GCC unroll 8
        for (int q = 0; q < R; ++q) y[i + q] += s[q];
    }
    for (; i < r; ++i)
    {
        const double* a_i = a + i * lda;
        double s = 0.0;
        for (int j = 0; j < n; ++j) s += a_i[j] * x[j];
        y[i] += s;
    }
}

// y_j += x_i a_ij for i in turn: the product of the row x by A into accumulators that start
// from y (a product that continues, as after a first panel).
inline void column_sums(const double* a, long lda, const double* x, double* y, int r, int n)
{
    for (int k0 = 0; k0 < r; k0 += kPanelDepth)
    {
        const int kc = std::min(kPanelDepth, r - k0);
        const double* a_k = a + k0 * lda;
        int j = 0;
        for (; j + kTileVecs * Wide::kWidth <= n; j += kTileVecs * Wide::kWidth)
            product_tile<Wide, 1, kTileVecs>(x + k0, 0, a_k + j, lda, y + j, 0, kc, false);
        for (; j + Wide::kWidth <= n; j += Wide::kWidth)
            product_tile<Wide, 1, 1>(x + k0, 0, a_k + j, lda, y + j, 0, kc, false);
        product_tail(Narrower{}, x + k0, 0, a_k, lda, y, 0, 1, kc, false, j, n);
    }
}

// -- Element-wise: wide vectors, then the narrower widths --
enum class Op
{
    scale,       // x f
    add,         // x + y
    subtract,    // x - y
    add_scaled,  // x + f y
};

template <Op op, class K>
inline typename K::Vec apply(typename K::Vec x, typename K::Vec y, typename K::Vec f)
{
    if constexpr (op == Op::scale) return K::mul(x, f);
    if constexpr (op == Op::add) return K::add(x, y);
    if constexpr (op == Op::subtract) return K::sub(x, y);
    if constexpr (op == Op::add_scaled) return K::add(x, K::mul(f, y));
}

template <Op op, class K>
inline long elementwise_run(double* x, const double* y, double f, long k, long n)
{
    const auto f_v = K::splat(f);
    for (; k + K::kWidth <= n; k += K::kWidth)
        K::store(x + k, apply<op, K>(K::load(x + k), K::load(y + k), f_v));
    return k;
}

template <Op op> inline void elementwise_tail(Widths<>, double*, const double*, double, long, long)
{
}
template <Op op, class K, class... Rest>
inline void elementwise_tail(Widths<K, Rest...>, double* x, const double* y, double f, long k,
                             long n)
{
    k = elementwise_run<op, K>(x, y, f, k, n);
    elementwise_tail<op>(Widths<Rest...>{}, x, y, f, k, n);
}

template <Op op> inline void elementwise(double* x, const double* y, double f, long n)
{
    const long k = elementwise_run<op, Wide>(x, y, f, 0, n);
    elementwise_tail<op>(Narrower{}, x, y, f, k, n);
}

inline void scale(double* x, double f, long n) { elementwise<Op::scale>(x, x, f, n); }
inline void add_to(double* x, const double* y, long n) { elementwise<Op::add>(x, y, 0.0, n); }
inline void subtract(double* x, const double* y, long n)
{
    elementwise<Op::subtract>(x, y, 0.0, n);
}
inline void add_scaled(double* x, double f, const double* y, long n)
{
    elementwise<Op::add_scaled>(x, y, f, n);
}

// -- Factorizations: the plain loops of CMatrix::LU and CMatrix::Cholesky (see there), compiled
// for the instruction set so that the compiler vectorises their row updates --
inline bool lu(double* a, int n, long cols)
{
    for (int k = 0; k < n; ++k)
    {
        const double* __restrict a_k = a + k * cols;
        const double p = a_k[k];
        if (p == 0.0) return false;
        for (int i = k + 1; i < n; ++i)
        {
            double* __restrict a_i = a + i * cols;  // row i > k: apart from row k
            if (a_i[k] == 0.0) continue;
            a_i[k] = a_i[k] / p;
            const double l_ik = a_i[k];
            for (int j = k + 1; j < n; ++j) a_i[j] -= l_ik * a_k[j];
        }
    }
    return true;
}

inline int cholesky(double* a, int n, long cols)
{
    for (int k = 0; k < n; ++k)
    {
        double* __restrict a_k = a + k * cols;
        const double d = a_k[k];
        if (d == 0.0) return 0;
        for (int i = k + 1; i < n; ++i)
        {
            const double f = a_k[i];
            if (f == 0.0) continue;
            const double f_d = f / d;
            double* __restrict a_i = a + i * cols;  // row i > k: apart from row k
            for (int j = i; j < n; ++j) a_i[j] -= f_d * a_k[j];
        }
        const double s = std::sqrt(d);
        for (int j = 0; j < k; ++j) a_k[j] = 0.0;
        for (int j = k; j < n; ++j) a_k[j] /= s;
    }
    return 1;
}
