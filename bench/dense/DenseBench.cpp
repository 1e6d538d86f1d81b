// The dense operations of element code side by side, one Google Benchmark case each:
// "dense/<operation>/<size>/<method>", methods
//   tarvel   the library's CMatrix / CVector forms
//   loops    plain loops over row-major arrays, as a user writes them
//   eigen    Eigen MatrixXd / VectorXd (dynamic size)
//   fixed    Eigen Matrix<double, R, C> (compile-time size; up to 60)
// Each case reports its floating-point rate in the counter "flops" (flops per second, the
// textbook count of the operation). scripts/dense_report.py turns a run into the section of
// docs/performance.md.
#include <tarvel/Tarvel.h>

#include <Eigen/Dense>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

using Eigen::MatrixXd;
using Eigen::VectorXd;
using RowMat = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// Entries uniform in [-1, 1], diagonal shifted by the order so that square ones are regular
// and symmetric positive definite after symmetrization.
CMatrix random_matrix(int rows, int cols, unsigned seed, bool spd = false)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    CMatrix A(rows, cols, true, 0.0);
    for (int k = 0; k < A.m_nSize; ++k) A.m_pData[k] = u(gen);
    if (spd)
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < i; ++j) A(i, j) = A(j, i);
    if (spd || rows == cols)
        for (int i = 0; i < std::min(rows, cols); ++i) A(i, i) += rows;
    return A;
}

MatrixXd eigen_of(const CMatrix& A)
{
    MatrixXd E(A.GetRows(), A.GetColumns());
    for (int i = 0; i < A.GetRows(); ++i)
        for (int j = 0; j < A.GetColumns(); ++j) E(i, j) = A(i, j);
    return E;
}

template <int R, int C> Eigen::Matrix<double, R, C> fixed_of(const CMatrix& A)
{
    return eigen_of(A);
}

template <class F> void add_case(const std::string& name, double flops, F body)
{
    benchmark::RegisterBenchmark(name.c_str(),
                                 [=](benchmark::State& st) mutable
                                 {
                                     for (auto _ : st)
                                     {
                                         body();
                                         benchmark::ClobberMemory();
                                     }
                                     st.counters["flops"] = benchmark::Counter(
                                         flops, benchmark::Counter::kIsIterationInvariantRate);
                                 });
}

// -- Plain loops over row-major arrays --
void loops_product(const double* a, const double* b, double* c, int r, int m, int n)
{
    for (int i = 0; i < r; ++i)
    {
        double* c_i = c + i * n;
        for (int j = 0; j < n; ++j) c_i[j] = 0.0;
        for (int k = 0; k < m; ++k)
        {
            const double a_ik = a[i * m + k];
            const double* b_k = b + k * n;
            for (int j = 0; j < n; ++j) c_i[j] += a_ik * b_k[j];
        }
    }
}

void loops_lu_solve(double* a, double* b, int n)  // partial pivoting, one right-hand side
{
    for (int k = 0; k < n; ++k)
    {
        int p = k;
        for (int i = k + 1; i < n; ++i)
            if (std::fabs(a[i * n + k]) > std::fabs(a[p * n + k])) p = i;
        if (p != k)
        {
            for (int j = 0; j < n; ++j) std::swap(a[k * n + j], a[p * n + j]);
            std::swap(b[k], b[p]);
        }
        for (int i = k + 1; i < n; ++i)
        {
            const double l = a[i * n + k] / a[k * n + k];
            for (int j = k + 1; j < n; ++j) a[i * n + j] -= l * a[k * n + j];
            b[i] -= l * b[k];
        }
    }
    for (int i = n - 1; i >= 0; --i)
    {
        double s = b[i];
        for (int j = i + 1; j < n; ++j) s -= a[i * n + j] * b[j];
        b[i] = s / a[i * n + i];
    }
}

double loops_det(double* a, int n)
{
    double det = 1.0;
    for (int k = 0; k < n; ++k)
    {
        det *= a[k * n + k];
        for (int i = k + 1; i < n; ++i)
        {
            const double l = a[i * n + k] / a[k * n + k];
            for (int j = k + 1; j < n; ++j) a[i * n + j] -= l * a[k * n + j];
        }
    }
    return det;
}

void loops_cholesky(double* a, int n)  // upper, A = U^T U
{
    for (int k = 0; k < n; ++k)
    {
        const double d = std::sqrt(a[k * n + k]);
        for (int j = k; j < n; ++j) a[k * n + j] /= d;
        for (int i = k + 1; i < n; ++i)
            for (int j = i; j < n; ++j) a[i * n + j] -= a[k * n + i] * a[k * n + j];
    }
}

std::string size_name(int r, int m, int n)
{
    if (r == m && m == n) return std::to_string(n);
    return std::to_string(r) + "x" + std::to_string(m) + "x" + std::to_string(n);
}

// -- Products C = A B (r x m by m x n), all four methods --
template <int R, int M, int N> void product_cases(bool fixed)
{
    const int r = R, m = M, n = N;
    const std::string size = size_name(r, m, n);
    const double flops = 2.0 * r * m * n;
    const CMatrix A = random_matrix(r, m, 1), B = random_matrix(m, n, 2);
    add_case("dense/product/" + size + "/tarvel", flops,
             [A, B, C = CMatrix(A)]() mutable
             {
                 C = A;  // same shape: the array is reused
                 C *= B;
                 benchmark::DoNotOptimize(C.m_pData);
             });
    add_case("dense/product/" + size + "/loops", flops,
             [A, B, c = std::vector<double>(r * n)]() mutable
             {
                 loops_product(A.m_pData, B.m_pData, c.data(), r, m, n);
                 benchmark::DoNotOptimize(c.data());
             });
    add_case("dense/product/" + size + "/eigen", flops,
             [a = eigen_of(A), b = eigen_of(B), c = MatrixXd(r, n)]() mutable
             {
                 c.noalias() = a * b;
                 benchmark::DoNotOptimize(c.data());
             });
    if constexpr (R * M <= 3600 && M * N <= 3600)
        if (fixed)
            add_case("dense/product/" + size + "/fixed", flops,
                     [a = fixed_of<R, M>(A), b = fixed_of<M, N>(B),
                      c = Eigen::Matrix<double, R, N>::Zero().eval()]() mutable
                     {
                         c.noalias() = a * b;
                         benchmark::DoNotOptimize(c.data());
                     });
}

// -- Congruence K = B^T D B with D m x m symmetric, B m x n --
template <int M, int N> void congruence_cases(const std::string& op, double w, bool accumulate)
{
    const int m = M, n = N;
    const std::string size = size_name(m, n, n);
    const double flops = 2.0 * n * m * m + 2.0 * n * n * m + (accumulate ? 2.0 * n * n : 0.0);
    const CMatrix D = random_matrix(m, m, 3, true), B = random_matrix(m, n, 4);
    const CMatrix Bt(B, true);
    add_case(
        "dense/" + op + "/" + size + "/tarvel", flops,
        [D, Bt, w, accumulate, T = CMatrix(n, n, true, 0.0), K = CMatrix(n, n, true, 0.0)]() mutable
        {
            T = D;
            T.PostPreMult(Bt, 0);  // Bt D^T Bt^T
            if (accumulate)
            {
                T *= w;
                K += T;
            }
            benchmark::DoNotOptimize(T.m_pData);
            benchmark::DoNotOptimize(K.m_pData);
        });
    add_case("dense/" + op + "/" + size + "/loops", flops,
             [bt = std::vector<double>(Bt.m_pData, Bt.m_pData + n * m),
              d = std::vector<double>(D.m_pData, D.m_pData + m * m), w, accumulate,
              bd = std::vector<double>(n * m), t = std::vector<double>(n * n),
              k = std::vector<double>(n * n),
              b = std::vector<double>(B.m_pData, B.m_pData + m * n)]() mutable
             {
                 loops_product(bt.data(), d.data(), bd.data(), n, m, m);
                 loops_product(bd.data(), b.data(), t.data(), n, m, n);
                 if (accumulate)
                     for (int q = 0; q < n * n; ++q) k[q] += w * t[q];
                 benchmark::DoNotOptimize(t.data());
                 benchmark::DoNotOptimize(k.data());
             });
    add_case("dense/" + op + "/" + size + "/eigen", flops,
             [bt = eigen_of(Bt), d = eigen_of(D), b = eigen_of(B), w, accumulate,
              bd = MatrixXd(n, m), t = MatrixXd(n, n), k = MatrixXd::Zero(n, n).eval()]() mutable
             {
                 bd.noalias() = bt * d;
                 t.noalias() = bd * b;
                 if (accumulate) k += w * t;
                 benchmark::DoNotOptimize(t.data());
                 benchmark::DoNotOptimize(k.data());
             });
    add_case("dense/" + op + "/" + size + "/fixed", flops,
             [bt = fixed_of<N, M>(Bt), d = fixed_of<M, M>(D), b = fixed_of<M, N>(B), w, accumulate,
              bd = Eigen::Matrix<double, N, M>::Zero().eval(),
              t = Eigen::Matrix<double, N, N>::Zero().eval(),
              k = Eigen::Matrix<double, N, N>::Zero().eval()]() mutable
             {
                 bd.noalias() = bt * d;
                 t.noalias() = bd * b;
                 if (accumulate) k += w * t;
                 benchmark::DoNotOptimize(t.data());
                 benchmark::DoNotOptimize(k.data());
             });
}

// -- Square and vector operations at order N --
template <int N> void square_cases(bool fixed)
{
    const int n = N;
    const std::string size = std::to_string(n);
    const CMatrix A = random_matrix(n, n, 5), S = random_matrix(n, n, 6, true);
    const CMatrix Y = random_matrix(n, n, 7);
    const CVector x(random_matrix(n, 1, 8)), y(random_matrix(n, 1, 9));
    constexpr int NF = N <= 60 ? N : 1;  // no compile-time sizes past 60
    using F = Eigen::Matrix<double, NF, NF>;
    using FV = Eigen::Matrix<double, NF, 1>;
    const double nn = double(n) * n;
    auto four = [&](const std::string& op, double flops, auto tarvel, auto loops, auto eigen,
                    auto fixedBody)
    {
        add_case("dense/" + op + "/" + size + "/tarvel", flops, tarvel);
        add_case("dense/" + op + "/" + size + "/loops", flops, loops);
        add_case("dense/" + op + "/" + size + "/eigen", flops, eigen);
        if (fixed) add_case("dense/" + op + "/" + size + "/fixed", flops, fixedBody);
    };
    std::vector<double> a(A.m_pData, A.m_pData + n * n), yv(Y.m_pData, Y.m_pData + n * n),
        s(S.m_pData, S.m_pData + n * n), xv(x.m_pData, x.m_pData + n), y1(y.m_pData, y.m_pData + n);
    const MatrixXd ea = eigen_of(A), ey = eigen_of(Y), es = eigen_of(S);
    const VectorXd ex = eigen_of(random_matrix(n, 1, 8)), ey1 = eigen_of(random_matrix(n, 1, 9));
    F fa = F::Zero(), fy = F::Zero(), fs = F::Zero();
    FV fx = FV::Zero(), fy1 = FV::Zero();
    if constexpr (N <= 60)
    {
        fa = ea;
        fy = ey;
        fs = es;
        fx = ex;
        fy1 = ey1;
    }
    const double w = 0.5;

    // Scaling, sums, copy: nn flops (copy: none, reported per element)
    four(
        "scale", nn,
        [M = CMatrix(A), w]() mutable
        {
            M *= w;
            benchmark::DoNotOptimize(M.m_pData);
        },
        [m = a, w]() mutable
        {
            for (double& v : m) v *= w;
            benchmark::DoNotOptimize(m.data());
        },
        [m = ea, w]() mutable
        {
            m *= w;
            benchmark::DoNotOptimize(m.data());
        },
        [m = fa, w]() mutable
        {
            m *= w;
            benchmark::DoNotOptimize(m.data());
        });
    four(
        "add", nn,
        [M = CMatrix(A), Y]() mutable
        {
            M += Y;
            benchmark::DoNotOptimize(M.m_pData);
        },
        [m = a, yv]() mutable
        {
            for (int k = 0; k < N * N; ++k) m[k] += yv[k];
            benchmark::DoNotOptimize(m.data());
        },
        [m = ea, ey]() mutable
        {
            m += ey;
            benchmark::DoNotOptimize(m.data());
        },
        [m = fa, fy]() mutable
        {
            m += fy;
            benchmark::DoNotOptimize(m.data());
        });
    four(
        "copy", nn,
        [M = CMatrix(A), Y]() mutable
        {
            M = Y;
            benchmark::DoNotOptimize(M.m_pData);
        },
        [m = a, yv]() mutable
        {
            for (int k = 0; k < N * N; ++k) m[k] = yv[k];
            benchmark::DoNotOptimize(m.data());
        },
        [m = ea, ey]() mutable
        {
            m = ey;
            benchmark::DoNotOptimize(m.data());
        },
        [m = fa, fy]() mutable
        {
            m = fy;
            benchmark::DoNotOptimize(m.data());
        });
    four(
        "transpose", nn,
        [M = CMatrix(A)]() mutable
        {
            M.Transpose();
            benchmark::DoNotOptimize(M.m_pData);
        },
        [t = a]() mutable
        {
            for (int i = 0; i < N; ++i)
                for (int j = i + 1; j < N; ++j) std::swap(t[i * N + j], t[j * N + i]);
            benchmark::DoNotOptimize(t.data());
        },
        [t = ea]() mutable
        {
            t.transposeInPlace();
            benchmark::DoNotOptimize(t.data());
        },
        [t = fa]() mutable
        {
            t.transposeInPlace();
            benchmark::DoNotOptimize(t.data());
        });
    // Matrix-vector products: 2 n^2 flops
    four(
        "gemv", 2 * nn,
        [A, x, v = CVector(y)]() mutable
        {
            A.ApplyTo(x, v, 1);
            benchmark::DoNotOptimize(v.m_pData);
        },
        [a, xv, v = y1]() mutable
        {
            for (int i = 0; i < N; ++i)
            {
                double t = 0.0;
                for (int j = 0; j < N; ++j) t += a[i * N + j] * xv[j];
                v[i] += t;
            }
            benchmark::DoNotOptimize(v.data());
        },
        [ea, ex, v = ey1]() mutable
        {
            v.noalias() += ea * ex;
            benchmark::DoNotOptimize(v.data());
        },
        [fa, fx, v = fy1]() mutable
        {
            v.noalias() += fa * fx;
            benchmark::DoNotOptimize(v.data());
        });
    four(
        "gemv_t", 2 * nn,
        [A, x, v = CVector(y)]() mutable
        {
            A.ApplyTo(x, v, 2);
            benchmark::DoNotOptimize(v.m_pData);
        },
        [a, xv, v = y1]() mutable
        {
            for (int i = 0; i < N; ++i)
                for (int j = 0; j < N; ++j) v[j] += xv[i] * a[i * N + j];
            benchmark::DoNotOptimize(v.data());
        },
        [ea, ex, v = ey1]() mutable
        {
            v.noalias() += ea.transpose() * ex;
            benchmark::DoNotOptimize(v.data());
        },
        [fa, fx, v = fy1]() mutable
        {
            v.noalias() += fa.transpose() * fx;
            benchmark::DoNotOptimize(v.data());
        });
    // Vector operations on n elements
    four(
        "dot", 2.0 * n, [x, y]() { benchmark::DoNotOptimize(x.Dot(y)); },
        [xv, y1]()
        {
            double t = 0.0;
            for (int k = 0; k < N; ++k) t += xv[k] * y1[k];
            benchmark::DoNotOptimize(t);
        },
        [ex, ey1]() { benchmark::DoNotOptimize(ex.dot(ey1)); },
        [fx, fy1]() { benchmark::DoNotOptimize(fx.dot(fy1)); });
    four(
        "norm", 2.0 * n, [x]() { benchmark::DoNotOptimize(x.Length()); },
        [xv]()
        {
            double t = 0.0;
            for (int k = 0; k < N; ++k) t += xv[k] * xv[k];
            benchmark::DoNotOptimize(std::sqrt(t));
        },
        [ex]() { benchmark::DoNotOptimize(ex.norm()); },
        [fx]() { benchmark::DoNotOptimize(fx.norm()); });
    four(
        "axpy", 2.0 * n,
        [v = CVector(x), y, w]() mutable
        {
            v.Add(y, w);
            benchmark::DoNotOptimize(v.m_pData);
        },
        [v = xv, y1, w]() mutable
        {
            for (int k = 0; k < N; ++k) v[k] += w * y1[k];
            benchmark::DoNotOptimize(v.data());
        },
        [v = ex, ey1, w]() mutable
        {
            v += w * ey1;
            benchmark::DoNotOptimize(v.data());
        },
        [v = fx, fy1, w]() mutable
        {
            v += w * fy1;
            benchmark::DoNotOptimize(v.data());
        });
    // Factorizations and solves (textbook counts): det and LU 2n^3/3, Cholesky n^3/3
    four(
        "det", 2.0 * nn * n / 3, [A]() { benchmark::DoNotOptimize(A.Det()); },
        [a, t = a]() mutable
        {
            t = a;
            benchmark::DoNotOptimize(loops_det(t.data(), N));
        },
        [ea]() { benchmark::DoNotOptimize(ea.partialPivLu().determinant()); },
        [fa]() { benchmark::DoNotOptimize(fa.determinant()); });
    four(
        "lu_solve", 2.0 * nn * n / 3 + 2 * nn,
        [A, x, M = CMatrix(A), b = CMatrix(n, 1, true, 0.0)]() mutable
        {
            M = A;
            std::copy_n(x.m_pData, N, b.m_pData);
            double seconds = 0.0;
            M.SolveAxEqb(&b, true, seconds);
            benchmark::DoNotOptimize(b.m_pData);
        },
        [a, xv, t = a, b = xv]() mutable
        {
            t = a;
            b = xv;
            loops_lu_solve(t.data(), b.data(), N);
            benchmark::DoNotOptimize(b.data());
        },
        [ea, ex, b = ex]() mutable
        {
            b = ea.partialPivLu().solve(ex);
            benchmark::DoNotOptimize(b.data());
        },
        [fa, fx, b = fx]() mutable
        {
            b = fa.partialPivLu().solve(fx);
            benchmark::DoNotOptimize(b.data());
        });
    four(
        "cholesky", nn * n / 3,
        [S, M = CMatrix(S)]() mutable
        {
            M = S;
            M.Cholesky();
            benchmark::DoNotOptimize(M.m_pData);
        },
        [s, t = s]() mutable
        {
            t = s;
            loops_cholesky(t.data(), N);
            benchmark::DoNotOptimize(t.data());
        },
        [es, l = Eigen::LLT<MatrixXd>(n)]() mutable
        {
            l.compute(es);
            benchmark::DoNotOptimize(l.matrixLLT().data());
        },
        [fs, l = Eigen::LLT<F>()]() mutable
        {
            l.compute(fs);
            benchmark::DoNotOptimize(l.matrixLLT().data());
        });
}

void register_all()
{
    product_cases<3, 3, 3>(true);
    product_cases<6, 6, 6>(true);
    product_cases<6, 24, 24>(true);
    product_cases<3, 8, 8>(true);
    product_cases<12, 12, 12>(true);
    product_cases<24, 24, 24>(true);
    product_cases<30, 30, 30>(true);
    product_cases<60, 60, 60>(true);
    product_cases<200, 200, 200>(false);
    product_cases<1000, 1000, 1000>(false);
    congruence_cases<6, 24>("hex8", 0.125, true);  // ke += w B^T D B
    congruence_cases<3, 8>("q4", 0.25, true);
    congruence_cases<6, 6>("congruence", 1.0, false);
    congruence_cases<12, 12>("congruence", 1.0, false);
    congruence_cases<24, 24>("congruence", 1.0, false);
    square_cases<3>(true);
    square_cases<6>(true);
    square_cases<12>(true);
    square_cases<24>(true);
    square_cases<30>(true);
    square_cases<60>(true);
    square_cases<200>(false);
    square_cases<1000>(false);
}

}  // namespace

int main(int argc, char** argv)
{
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
