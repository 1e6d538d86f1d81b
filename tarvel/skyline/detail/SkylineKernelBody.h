// The skyline kernels written once over a vector type; SkylineKernels.cpp includes this file
// inside one namespace per instruction set, after defining there:
//   Vec          the register type, kWidth doubles;   zero(), load(p), store(p, x), splat(a)
//   madd(a,b,c)  c + a b (fused where the instruction set has it);   add, sub, mul, div
//   kTileRows    rows i of a register tile;   kTileVecs  vectors per row of a tile
// No include guard and no includes: the enclosing namespace and instruction set change.

constexpr int kTileLanes = kTileVecs * kWidth;  // lanes of a tile
constexpr int kTiles = tarvel::detail::kSkylineLanes / kTileLanes;
static_assert(kTiles * kTileLanes == tarvel::detail::kSkylineLanes, "tiles cover the block");

// Tile of M rows i0 .. i0+M-1 against the lanes of tile t:
//   v_i[t] -= sum_{r=start_i}^{end-1} u_ri v_r[t],   start_i = max(p_i, lo, tile_peak),
// tile_peak being the lowest peak of the tile's lanes (the rows above it are 0.0 there).
// The rows whose start lies below the latest start take their leading terms one row at a time;
// from there on all M rows advance together, each u_ri broadcast against the tile's vectors.
template <int M>
inline void reduce_tile(const tarvel::detail::SkylineColumns& A,
                        const tarvel::detail::SkylineBlock& B, int i0, int lo, int end,
                        int tile_peak, int t)
{
    constexpr int L = tarvel::detail::kSkylineLanes;
    const int floor = std::max(lo, tile_peak);
    int start[M];        // first r of row i0 + m
    int common = floor;  // from here on every row of the tile has its entries
#pragma GCC unroll 8
    for (int m = 0; m < M; ++m)
    {
        start[m] = std::max(A.peak(i0 + m), floor);
        common = std::max(common, start[m]);
    }
    common = std::min(common, end);
    const double* v = B.v + t * kTileLanes;  // lane 0 of the tile, row P
    const long P = B.P;

    Vec acc[M][kTileVecs];
#pragma GCC unroll 8
    for (int m = 0; m < M; ++m)
    {
#pragma GCC unroll 8
        for (int k = 0; k < kTileVecs; ++k) acc[m][k] = zero();
    }
    // -- 1. Leading terms of the rows that start early --
    const double* u[M];  // u[m][r - common] = u_r,i0+m for r >= common
#pragma GCC unroll 8
    for (int m = 0; m < M; ++m)
    {
        const int p = A.peak(i0 + m);
        const double* col = A.column(i0 + m);  // col[r - p] = u_r,i0+m
        for (int r = start[m]; r < common; ++r)
        {
            const Vec a = splat(col[r - p]);
            const double* v_r = v + (r - P) * L;
#pragma GCC unroll 8
            for (int k = 0; k < kTileVecs; ++k)
                acc[m][k] = madd(a, load(v_r + k * kWidth), acc[m][k]);
        }
        u[m] = col + std::max(common - p, 0);  // common >= p whenever the loop below runs
    }
    // -- 2. All rows together --
    const double* v_r = v + (common - P) * L;
    for (int q = 0; q < end - common; ++q, v_r += L)
    {
        Vec b[kTileVecs];
#pragma GCC unroll 8
        for (int k = 0; k < kTileVecs; ++k) b[k] = load(v_r + k * kWidth);
#pragma GCC unroll 8
        for (int m = 0; m < M; ++m)
        {
            const Vec a = splat(u[m][q]);
#pragma GCC unroll 8
            for (int k = 0; k < kTileVecs; ++k) acc[m][k] = madd(a, b[k], acc[m][k]);
        }
    }
// -- 3. v_i -= the sums --
#pragma GCC unroll 8
    for (int m = 0; m < M; ++m)
    {
        double* v_i = B.v + (i0 + m - P) * L + t * kTileLanes;
#pragma GCC unroll 8
        for (int k = 0; k < kTileVecs; ++k)
            store(v_i + k * kWidth, sub(load(v_i + k * kWidth), acc[m][k]));
    }
}

// Rows first .. last-1 in tiles of kTileRows: the part of each tile's sums over rows above the
// tile at once, then the rows inside the tile one by one (row i needs v_r of the rows r < i).
// A row above a tile's first lane peak stays 0.0 in every lane of that tile and is skipped.
inline void reduce_rows(const tarvel::detail::SkylineColumns& A,
                        const tarvel::detail::SkylineBlock& B, int first, int last, int lo, int hi)
{
    int tile_peak[kTiles];
    for (int t = 0; t < kTiles; ++t)
    {
        tile_peak[t] = INT_MAX;
        for (int b = 0; b < kTileLanes; ++b)
            tile_peak[t] = std::min(tile_peak[t], B.lane_peak[t * kTileLanes + b]);
    }
    for (int i0 = first; i0 < last; i0 += kTileRows)
    {
        const int rows = std::min(kTileRows, last - i0);
        const int end = std::min(i0, hi);
        for (int t = 0; t < kTiles; ++t)
        {
            if (i0 + rows - 1 < tile_peak[t]) continue;
            if (rows == kTileRows)
                reduce_tile<kTileRows>(A, B, i0, lo, end, tile_peak[t], t);
            else
                for (int m = 0; m < rows; ++m)
                    reduce_tile<1>(A, B, i0 + m, lo, end, tile_peak[t], t);
            for (int m = 1; m < rows; ++m)  // the rows of the tile above row i0 + m
                if (i0 + m >= tile_peak[t])
                    reduce_tile<1>(A, B, i0 + m, std::max(lo, i0), std::min(i0 + m, hi),
                                   tile_peak[t], t);
        }
    }
}

// Four partial sums of kWidth lanes each, added pairwise at the end.
inline double dot(const double* a, const double* b, int n)
{
    Vec s[4] = {zero(), zero(), zero(), zero()};
    int k = 0;
    for (; k + 4 * kWidth <= n; k += 4 * kWidth)
        for (int q = 0; q < 4; ++q)
            s[q] = madd(load(a + k + q * kWidth), load(b + k + q * kWidth), s[q]);
    double lanes[kWidth];
    store(lanes, add(add(s[0], s[1]), add(s[2], s[3])));
    double sum = 0.0;
    for (int q = 0; q < kWidth; ++q) sum += lanes[q];
    for (; k < n; ++k) sum += a[k] * b[k];
    return sum;
}

inline void axpy(double alpha, const double* x, double* y, int n)
{
    const Vec a = splat(alpha);
    int k = 0;
    for (; k + kWidth <= n; k += kWidth) store(y + k, sub(load(y + k), mul(a, load(x + k))));
    for (; k < n; ++k) y[k] -= alpha * x[k];
}

inline void divide_row(const double* x, double d, double* y)
{
    const Vec dv = splat(d);
#pragma GCC unroll 8
    for (int k = 0; k < tarvel::detail::kSkylineLanes; k += kWidth)
        store(y + k, div(load(x + k), dv));
}
