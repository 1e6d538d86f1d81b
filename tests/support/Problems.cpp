#include "support/Problems.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>

namespace tarvel_test
{

void Mesh::AssembleInto(CVirtRealMat& A) const
{
    for (size_t e = 0; e < dofs.size(); ++e)  // AddValues takes writable arrays: copies
        A.AddValues(std::vector<long>(dofs[e]).data(), std::vector<double>(ke[e]).data(),
                    static_cast<int>(dofs[e].size()));
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

Mesh FreeMesh(const tarvel_fem::FemProblem& p, bool all)
{
    std::vector<long> number(static_cast<size_t>(p.num_dofs), 0);
    for (long d : p.fixed_dofs) number[static_cast<size_t>(d)] = all ? 0 : -1;
    Mesh m;
    for (long& d : number) d = d < 0 ? -1 : m.n++;
    const int k = p.dofs_per_element;
    for (long e = 0; e < p.num_elements(); ++e)
    {
        m.dofs.emplace_back();
        for (int a = 0; a < k; ++a) m.dofs.back().push_back(number[p.dofs(e)[a]]);
        m.ke.emplace_back(p.matrix(e), p.matrix(e) + k * k);
    }
    return m;
}

Problem MakeProblem(const Mesh& mesh, int nRhs, bool upperOnly, unsigned seed)
{
    Problem p;
    mesh.AssembleInto(p.A);
    if (upperOnly) p.A.MakeUpper();
    p.b = RandomMatrix(mesh.n, nRhs, seed);
    p.rhs = p.b;
    return p;
}

namespace
{
double largest(const double* v, size_t size)  // max |v_e|
{
    double m = 0.0;
    for (size_t e = 0; e < size; ++e) m = std::max(m, std::fabs(v[e]));
    return m;
}

using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;

bool zero_or_nan(double v) { return v == 0.0 || std::isnan(v); }

std::vector<Row*> rows_of(CSparseMatrix& A)
{
    std::vector<Row*> rows;
    for (Row* r = A.GetFirstRow(); r; r = r->m_pNextRow) rows.push_back(r);
    return rows;
}

// Adds v at column col of row r by sorted insertion, the walk starting at `from` (a cell of r
// at or left of col) or at the row's head; a missing cell is made holding v. Returns the cell.
Cell* add_at(Row& r, Cell* from, int col, double v)
{
    if (from && from->m_nCol == col) return from->m_dValue += v, from;
    Cell** link = from ? &from->m_pNext : &r.m_pFirstCell;
    while (*link && (*link)->m_nCol < col) link = &(*link)->m_pNext;
    if (*link && (*link)->m_nCol == col)
        (*link)->m_dValue += v;
    else
        *link = new Cell{*link, v, col};
    return *link;
}

}  // namespace

double MaxRelativeDifference(const CVector& x, const CVector& reference)
{
    if (x.m_nSize != reference.m_nSize) return HUGE_VAL;
    std::vector<double> d(x.m_pData, x.m_pData + x.m_nSize);
    for (int e = 0; e < x.m_nSize; ++e) d[e] -= reference.m_pData[e];
    return largest(d.data(), d.size()) / largest(reference.m_pData, reference.m_nSize);
}

double ScaledResidual(const CSparseMatrix& A, const CVector& X, const CVector& B)
{
    const auto* columns = dynamic_cast<const CMatrix*>(&B);
    const int k = columns ? columns->GetColumns() : 1, n = B.m_nSize / k;
    const bool symmetric = A.IsUpper();
    std::vector<double> r(B.m_pData, B.m_pData + B.m_nSize), rowSum(n, 0.0);
    auto subtract = [&](int i, int j, double a)
    {
        for (int q = 0; q < k; ++q) r[i * k + q] -= a * X.m_pData[j * k + q];
        rowSum[i] += std::fabs(a);
    };
    for (const CSparseMatrix::row* row = A.GetFirstRow(); row; row = row->m_pNextRow)
        for (const CSparseMatrix::cell* c = row->m_pFirstCell; c; c = c->m_pNext)
        {
            subtract(row->m_nRow, c->m_nCol, c->m_dValue);
            if (symmetric && c->m_nCol != row->m_nRow)
                subtract(c->m_nCol, row->m_nRow, c->m_dValue);
        }
    return largest(r.data(), r.size()) /
           (largest(rowSum.data(), rowSum.size()) * largest(X.m_pData, X.m_nSize) +
            largest(B.m_pData, B.m_nSize));
}

CMatrix DenseSolve(const CMatrix& A, const CMatrix& B)
{
    const int n = A.GetRows(), p = B.GetColumns();
    CMatrix a(A), x(B);
    int w = 0;  // the half bandwidth
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (a(i, j) != 0.0) w = std::max(w, std::abs(i - j));
    for (int k = 0; k < n; ++k)
        for (int i = k + 1; i <= std::min(n - 1, k + w); ++i)
        {
            const double l = a(i, k) / a(k, k);
            for (int j = k; j <= std::min(n - 1, k + w); ++j) a(i, j) -= l * a(k, j);
            for (int c = 0; c < p; ++c) x(i, c) -= l * x(k, c);
        }
    for (int k = n - 1; k >= 0; --k)
        for (int c = 0; c < p; ++c)
        {
            for (int j = k + 1; j <= std::min(n - 1, k + w); ++j) x(k, c) -= a(k, j) * x(j, c);
            x(k, c) /= a(k, k);
        }
    return x;
}

std::string Untimed(const std::string& text)
{
    return std::regex_replace(text, std::regex("\\d+ m +\\d+\\.\\d\\d s"), "T s");
}

std::string Structure(const CSparseMatrix& S)
{
    std::string out;
    for (const CSparseMatrix::row* r = S.GetFirstRow(); r; r = r->m_pNextRow)
    {
        out += (out.empty() ? "" : "; ") + std::to_string(r->m_nRow) + ":";
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            out += " " + std::to_string(c->m_nCol) + "=" + G17(c->m_dValue);
    }
    return out;
}

CSparseMatrix FromTriplets(const std::vector<std::tuple<int, int, double>>& entries)
{
    CSparseMatrix S;
    CSparseMatrix::cell* c = nullptr;
    for (const auto& [i, j, v] : entries) S.Add(i, j, v, c = nullptr);  // a fresh cursor each
    return S;
}

CSparseMatrix RandomSparse(std::mt19937& gen, const Pattern& p)
{
    std::uniform_int_distribution<int> value(-2, 2), offset(1, std::max(1, p.band)), gap(0, 4);
    CSparseMatrix S;
    CSparseMatrix::cell* c = nullptr;  // the cursor form stores zeros
    auto add = [&S, &c](int i, int j, double v) { S.Add(i, j, v, c = nullptr); };
    for (int i = 0; i < p.n; ++i)
        if (!p.gaps || gap(gen) != 0) add(i, i, p.diag + value(gen));
    for (int i = 0; i < p.n; ++i)
        for (int t = 0; t < p.perRow; ++t)
        {
            const int j = i + offset(gen), v = value(gen), w = value(gen);
            if (j >= p.n || !S.GetValue(i, i)) continue;
            add(i, j, v);
            if (!p.upper && w != 0) add(j, i, w);
        }
    return S;
}

int LuRightLooking(CSparseMatrix& A)
{
    const std::vector<Row*> rows = rows_of(A);
    const int n = static_cast<int>(rows.size());
    std::vector<Cell*> cursor(rows.size());
    for (int r = 0; r < n; ++r) cursor[r] = rows[r]->m_pFirstCell;
    for (int k = 0; k < n; ++k)
    {
        Cell* ck = cursor[k];
        if (rows[k]->m_nRow != k || !ck || ck->m_nCol != k || zero_or_nan(ck->m_dValue)) return -1;
        if (!ck->m_pNext) continue;  // nothing right of the pivot: the later rows' cursors stay
        for (int r = k + 1; r < n; ++r)
        {
            Cell* c = cursor[r];
            if (!c || c->m_nCol != k) continue;
            const double l = c->m_dValue / ck->m_dValue;
            if (c->m_dValue != 0.0)  // a cursor holding 0.0 is only passed
            {
                c->m_dValue = l;
                Cell* at = c;
                for (const Cell* u = ck->m_pNext; u; u = u->m_pNext)
                    at = add_at(*rows[r], at, u->m_nCol, -(u->m_dValue * l));
            }
            cursor[r] = c->m_pNext;  // the first cell past the pivot column, fill included
        }
    }
    return 1;
}

int CholeskyRightLooking(CSparseMatrix& A)
{
    const std::vector<Row*> rows = rows_of(A);
    int width = 0;
    for (const Row* r : rows)
    {
        width = std::max(width, r->m_nRow + 1);
        for (const Cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            width = std::max(width, c->m_nCol + 1);
    }
    std::vector<char> stored(static_cast<std::size_t>(width), 0);  // stored[i]: row i listed
    for (const Row* r : rows)
        if (r->m_nRow >= 0) stored[r->m_nRow] = 1;
    for (int k = 0; k < static_cast<int>(rows.size()); ++k)
    {
        Row& rk = *rows[k];
        Cell* diag = rk.m_pFirstCell;
        if (rk.m_nRow != k || !diag || diag->m_nCol != k || !(diag->m_dValue > 0.0)) return -1;
        for (const Cell* c = diag->m_pNext; c; c = c->m_pNext)
            if (!zero_or_nan(c->m_dValue) && (c->m_nCol < 0 || !stored[c->m_nCol])) return -1;
        ++CVirtMat::m_Flops;
        const double d = diag->m_dValue;
        std::size_t j = static_cast<std::size_t>(k);
        for (Cell* ckj = diag->m_pNext; ckj; ckj = ckj->m_pNext)
        {
            const double a = ckj->m_dValue;
            if (zero_or_nan(a)) continue;
            while (rows[j]->m_nRow < ckj->m_nCol) ++j;  // stored, and rows ascend
            Cell* cursor = nullptr;
            for (const Cell* ckm = ckj; ckm; ckm = ckm->m_pNext, CVirtMat::m_Flops += 2)
                cursor = add_at(*rows[j], cursor, ckm->m_nCol, -a / d * ckm->m_dValue);
            ckj->m_dValue = a / d;
        }
    }
    return 1;
}

}  // namespace tarvel_test
