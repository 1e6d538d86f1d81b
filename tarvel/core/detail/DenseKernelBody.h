// The dense kernels written once over a vector type; DenseKernels.cpp includes this file inside
// one namespace per instruction set, after defining there:
//   Vec          the register type, kWidth doubles;   zero(), load(p), store(p, x), splat(a)
//   Mask         the lanes of a partial vector: mask_of(n) for the first n < kWidth lanes,
//                load_part(p, m) (other lanes 0.0), store_part(p, x, m)
//   add, sub, mul
//   kTileRows    rows of a register tile;   kTileVecs  vectors per row of a tile
// No include guard and no includes: the enclosing namespace and instruction set change.
// Multiplications and additions stay separate instructions (one rounding each) on every set.

constexpr int kTileLanes = kTileVecs * kWidth;
constexpr int kPanelDepth = 256;  // k of one pass over C: a panel of B stays in cache

// -- Product tile: M rows x V vectors of C, k = 0 .. kc-1 of the panel --
// start: c = 0.0 + sum (the first panel); otherwise c += sum, which continues the same sequence
// of additions (an element stored and loaded again is unchanged). Part: the last vector holds
// only the lanes of mask.
template <int M, int V, bool Part>
inline void product_tile(const double* a, long lda, const double* b, long ldb, double* c,
                         long ldc, int kc, bool start, Mask mask)
{
    Vec acc[M][V];
#pragma GCC unroll 8
    for (int m = 0; m < M; ++m)
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
            acc[m][v] = start                    ? zero()
                        : (Part && v == V - 1) ? load_part(c + m * ldc + v * kWidth, mask)
                                               : load(c + m * ldc + v * kWidth);
    for (int k = 0; k < kc; ++k)
    {
        const double* b_k = b + k * ldb;
        Vec b_kj[V];
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) b_kj[v] = (Part && v == V - 1) ? load_part(b_k + v * kWidth, mask) : load(b_k + v * kWidth);
#pragma GCC unroll 8
        for (int m = 0; m < M; ++m)
        {
            const Vec a_ik = splat(a[m * lda + k]);
#pragma GCC unroll 8
            for (int v = 0; v < V; ++v) acc[m][v] = add(acc[m][v], mul(a_ik, b_kj[v]));
        }
    }
#pragma GCC unroll 8
    for (int m = 0; m < M; ++m)
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
        {
            double* c_ij = c + m * ldc + v * kWidth;
            if (Part && v == V - 1)
                store_part(c_ij, acc[m][v], mask);
            else
                store(c_ij, acc[m][v]);
        }
}

// The rows of one column strip in tiles of kTileRows, the last rows in one smaller tile.
template <int V, bool Part, int M = kTileRows>
inline void product_strip(const double* a, long lda, const double* b, long ldb, double* c,
                          long ldc, int r, int kc, bool start, Mask mask)
{
    if constexpr (M == kTileRows)
    {
        int i = 0;
        for (; i + M <= r; i += M)
            product_tile<M, V, Part>(a + i * lda, lda, b, ldb, c + i * ldc, ldc, kc, start, mask);
        a += i * lda;
        c += i * ldc;
        r -= i;
        if (r == 0) return;
    }
    if constexpr (M > 1)
    {
        if (r < M) return product_strip<V, Part, M - 1>(a, lda, b, ldb, c, ldc, r, kc, start, mask);
    }
    product_tile<M, V, Part>(a, lda, b, ldb, c, ldc, kc, start, mask);
}

// C = A B by panels of kPanelDepth values of k; within a panel, strips of kTileLanes columns
// (then single vectors, then one partial vector) down all rows, so each strip of the panel of B
// is read from cache by every row tile.
inline void product(const double* a, long lda, const double* b, long ldb, double* c, long ldc,
                    int r, int m, int n)
{
    if (m == 0)  // empty sums
    {
        for (int i = 0; i < r; ++i)
            for (int j = 0; j < n; ++j) c[i * ldc + j] = 0.0;
        return;
    }
    const Mask all = mask_of(0);
    for (int k0 = 0; k0 < m; k0 += kPanelDepth)
    {
        const int kc = std::min(kPanelDepth, m - k0);
        const bool start = k0 == 0;
        const double* a_k = a + k0;
        const double* b_k = b + k0 * ldb;
        int j = 0;
        for (; j + kTileLanes <= n; j += kTileLanes)
            product_strip<kTileVecs, false>(a_k, lda, b_k + j, ldb, c + j, ldc, r, kc, start, all);
        for (; j + kWidth <= n; j += kWidth)
            product_strip<1, false>(a_k, lda, b_k + j, ldb, c + j, ldc, r, kc, start, all);
        if (j < n)
            product_strip<1, true>(a_k, lda, b_k + j, ldb, c + j, ldc, r, kc, start,
                                   mask_of(n - j));
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

// y_j += x_i a_ij for i in turn: a product tile of one row whose accumulators start from y.
inline void column_sums(const double* a, long lda, const double* x, double* y, int r, int n)
{
    if (r == 0) return;
    for (int k0 = 0; k0 < r; k0 += kPanelDepth)
    {
        const int kc = std::min(kPanelDepth, r - k0);
        const double* a_k = a + k0 * lda;
        int j = 0;
        for (; j + kTileLanes <= n; j += kTileLanes)
            product_tile<1, kTileVecs, false>(x + k0, 0, a_k + j, lda, y + j, 0, kc, false,
                                              mask_of(0));
        for (; j + kWidth <= n; j += kWidth)
            product_tile<1, 1, false>(x + k0, 0, a_k + j, lda, y + j, 0, kc, false, mask_of(0));
        if (j < n)
            product_tile<1, 1, true>(x + k0, 0, a_k + j, lda, y + j, 0, kc, false,
                                     mask_of(n - j));
    }
}

// -- Element-wise: whole vectors, then one partial vector --
enum class Op
{
    scale,       // x f
    add,         // x + y
    subtract,    // x - y
    add_scaled,  // x + f y
};

template <Op op> inline Vec apply(Vec x, Vec y, Vec f)
{
    if constexpr (op == Op::scale) return mul(x, f);
    if constexpr (op == Op::add) return add(x, y);
    if constexpr (op == Op::subtract) return sub(x, y);
    if constexpr (op == Op::add_scaled) return add(x, mul(f, y));
}

template <Op op> inline void elementwise(double* x, const double* y, double f, long n)
{
    const Vec f_v = splat(f);
    long k = 0;
    for (; k + 2 * kWidth <= n; k += 2 * kWidth)
    {
        const Vec x0 = apply<op>(load(x + k), load(y + k), f_v);
        const Vec x1 = apply<op>(load(x + k + kWidth), load(y + k + kWidth), f_v);
        store(x + k, x0);
        store(x + k + kWidth, x1);
    }
    for (; k + kWidth <= n; k += kWidth) store(x + k, apply<op>(load(x + k), load(y + k), f_v));
    if (k < n)
    {
        const Mask m = mask_of(static_cast<int>(n - k));
        store_part(x + k, apply<op>(load_part(x + k, m), load_part(y + k, m), f_v), m);
    }
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
