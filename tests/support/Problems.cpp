#include "support/Problems.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <tuple>

namespace tarvel_test
{

void Mesh::AssembleInto(CVirtRealMat& A) const
{
    for (size_t e = 0; e < dofs.size(); ++e)
    {
        std::vector<long> d = dofs[e];
        std::vector<double> k = ke[e];
        A.AddValues(d.data(), k.data(), static_cast<int>(d.size()));
    }
}

CMatrix Mesh::Dense() const
{
    CMatrix D(n, n, true, 0.0);
    for (size_t e = 0; e < dofs.size(); ++e)
    {
        const size_t k = dofs[e].size();
        for (size_t p = 0; p < k; ++p)
            for (size_t q = 0; q < k; ++q)
                if (dofs[e][p] >= 0 && dofs[e][q] >= 0)
                    D.m_pData[dofs[e][p] * n + dofs[e][q]] += ke[e][p * k + q];
    }
    return D;
}

Mesh SpringChain(int n)
{
    Mesh m;
    m.n = n;
    for (int e = 0; e < n; ++e)
    {
        const double k = 1.0 + e % 3;
        m.dofs.push_back({e - 1, e});
        m.ke.push_back({k, -k, -k, k});
    }
    return m;
}

Mesh GridLaplacian(int nx, int ny)
{
    Mesh m;
    m.n = nx * ny;
    auto id = [nx](int x, int y) { return static_cast<long>(y) * nx + x; };
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
        {
            if (x + 1 < nx)
            {
                m.dofs.push_back({id(x, y), id(x + 1, y)});
                m.ke.push_back({1, -1, -1, 1});
            }
            if (y + 1 < ny)
            {
                m.dofs.push_back({id(x, y), id(x, y + 1)});
                m.ke.push_back({1, -1, -1, 1});
            }
            const int degree = (x > 0) + (x + 1 < nx) + (y > 0) + (y + 1 < ny);
            if (degree < 4)
            {
                m.dofs.push_back({id(x, y)});
                m.ke.push_back({4.0 - degree});
            }
        }
    return m;
}

Mesh PoissonQ4(int nx, int ny)
{
    Mesh m;
    m.n = (nx - 1) * (ny - 1);
    auto node = [nx, ny](int x, int y) -> long
    {
        if (x == 0 || y == 0 || x == nx || y == ny) return -1;
        return static_cast<long>(y - 1) * (nx - 1) + (x - 1);
    };
    const std::vector<double> k = {4, -1, -2, -1, -1, 4, -1, -2, -2, -1, 4, -1, -1, -2, -1, 4};
    std::vector<double> ke(16);
    for (int i = 0; i < 16; ++i) ke[i] = k[i] / 6.0;
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
        {
            m.dofs.push_back({node(x, y), node(x + 1, y), node(x + 1, y + 1), node(x, y + 1)});
            m.ke.push_back(ke);
        }
    return m;
}

Problem MakeProblem(const Mesh& mesh, int nRhs, bool upperOnly, unsigned seed)
{
    Problem p;
    mesh.AssembleInto(p.A);
    if (upperOnly) p.A.MakeUpper();
    p.dense = mesh.Dense();
    p.b = RandomMatrix(mesh.n, nRhs, seed);
    p.rhs = p.b;
    return p;
}

CMatrix RandomMatrix(int rows, int cols, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    CMatrix M(rows, cols, true, 0.0);
    for (int e = 0; e < rows * cols; ++e) M.m_pData[e] = u(gen);
    return M;
}

double ScaledResidual(const CMatrix& A, const CMatrix& X, const CMatrix& B)
{
    const int n = A.GetRows();
    const int p = B.GetColumns();
    double normA = 0.0;
    for (int i = 0; i < n; ++i)
    {
        double s = 0.0;
        for (int j = 0; j < n; ++j) s += std::fabs(A.m_pData[i * n + j]);
        normA = std::max(normA, s);
    }
    double worst = 0.0;
    for (int c = 0; c < p; ++c)
    {
        double r = 0.0, x = 0.0, b = 0.0;
        for (int i = 0; i < n; ++i)
        {
            double s = -B.m_pData[i * p + c];
            for (int j = 0; j < n; ++j) s += A.m_pData[i * n + j] * X.m_pData[j * p + c];
            r = std::max(r, std::fabs(s));
            x = std::max(x, std::fabs(X.m_pData[i * p + c]));
            b = std::max(b, std::fabs(B.m_pData[i * p + c]));
        }
        worst = std::max(worst, r / (normA * x + b));
    }
    return worst;
}

CMatrix DenseSolve(const CMatrix& A, const CMatrix& B)
{
    const int n = A.GetRows();
    const int p = B.GetColumns();
    std::vector<double> a(A.m_pData, A.m_pData + n * n);
    std::vector<double> x(B.m_pData, B.m_pData + n * p);
    for (int k = 0; k < n; ++k)
    {
        int piv = k;
        for (int i = k + 1; i < n; ++i)
            if (std::fabs(a[i * n + k]) > std::fabs(a[piv * n + k])) piv = i;
        for (int j = 0; j < n; ++j) std::swap(a[k * n + j], a[piv * n + j]);
        for (int c = 0; c < p; ++c) std::swap(x[k * p + c], x[piv * p + c]);
        for (int i = k + 1; i < n; ++i)
        {
            const double l = a[i * n + k] / a[k * n + k];
            for (int j = k; j < n; ++j) a[i * n + j] -= l * a[k * n + j];
            for (int c = 0; c < p; ++c) x[i * p + c] -= l * x[k * p + c];
        }
    }
    for (int k = n - 1; k >= 0; --k)
        for (int c = 0; c < p; ++c)
        {
            double s = x[k * p + c];
            for (int j = k + 1; j < n; ++j) s -= a[k * n + j] * x[j * p + c];
            x[k * p + c] = s / a[k * n + k];
        }
    CMatrix X(n, p, true, 0.0);
    std::copy(x.begin(), x.end(), X.m_pData);
    return X;
}

std::string Structure(const CSparseMatrix& S)
{
    std::string out;
    char buf[64];
    for (const CSparseMatrix::row* r = S.GetFirstRow(); r; r = r->m_pNextRow)
    {
        if (!out.empty()) out += "; ";
        std::snprintf(buf, sizeof buf, "%d:", r->m_nRow);
        out += buf;
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
        {
            std::snprintf(buf, sizeof buf, " %d=%.17g", c->m_nCol, c->m_dValue);
            out += buf;
        }
    }
    return out;
}

bool SameBits(const CSparseMatrix& a, const CSparseMatrix& b)
{
    const CSparseMatrix::row* ra = a.GetFirstRow();
    const CSparseMatrix::row* rb = b.GetFirstRow();
    for (; ra && rb; ra = ra->m_pNextRow, rb = rb->m_pNextRow)
    {
        if (ra->m_nRow != rb->m_nRow) return false;
        const CSparseMatrix::cell* ca = ra->m_pFirstCell;
        const CSparseMatrix::cell* cb = rb->m_pFirstCell;
        for (; ca && cb; ca = ca->m_pNext, cb = cb->m_pNext)
            if (ca->m_nCol != cb->m_nCol ||
                std::memcmp(&ca->m_dValue, &cb->m_dValue, sizeof(double)) != 0)
                return false;
        if (ca || cb) return false;
    }
    return !ra && !rb;
}

CSparseMatrix FromTriplets(const std::vector<std::tuple<int, int, double>>& entries)
{
    CSparseMatrix S;
    for (const auto& [i, j, v] : entries)
    {
        CSparseMatrix::cell* c = nullptr;
        S.Add(i, j, v, c);
    }
    return S;
}

CSparseMatrix RandomSpdUpper(int n, int perRow, int band, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_int_distribution<int> offset(1, std::max(1, band));
    CMatrix D(n, n, true, 0.0);
    for (int i = 0; i < n; ++i)
        for (int t = 0; t < perRow; ++t)
        {
            const int j = i + offset(gen);
            if (j >= n) continue;
            const double v = u(gen);
            D.m_pData[i * n + j] = v;
            D.m_pData[j * n + i] = v;
        }
    CSparseMatrix S;
    CSparseMatrix::row* r = nullptr;
    for (int i = 0; i < n; ++i)
    {
        double sum = 1.0;
        for (int j = 0; j < n; ++j) sum += std::fabs(D.m_pData[i * n + j]);
        CSparseMatrix::cell* c = nullptr;
        S.Add(i, i, sum, r, c);
        for (int j = i + 1; j < n; ++j)
            if (D.m_pData[i * n + j] != 0.0) S.Add(i, j, D.m_pData[i * n + j], r, c);
    }
    return S;
}

}  // namespace tarvel_test
