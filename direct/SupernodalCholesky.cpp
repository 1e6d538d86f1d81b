// CSupernodalCholesky: the calling order, the state between calls and the failure texts; the
// analysis is in Analysis.cpp, the numeric factorization and the solves beside it.
#include "detail/Symbolic.h"

#include <tarvel-direct/SupernodalCholesky.h>

struct CSupernodalCholesky::Impl
{
    tarvel::direct::Symbolic symbolic;
    CString failure;
};

CSupernodalCholesky::CSupernodalCholesky() : m_pImpl(std::make_unique<Impl>()) {}
CSupernodalCholesky::~CSupernodalCholesky() = default;
CSupernodalCholesky::CSupernodalCholesky(CSupernodalCholesky&&) noexcept = default;
CSupernodalCholesky& CSupernodalCholesky::operator=(CSupernodalCholesky&&) noexcept = default;

void CSupernodalCholesky::SetOrdering(Ordering) {}
void CSupernodalCholesky::SetLabels(const CReorderMat&) {}
void CSupernodalCholesky::SetThreads(int) {}
int CSupernodalCholesky::Analyze(const CSparseMatrix&) { return -1; }
int CSupernodalCholesky::Factorize(const CSparseMatrix&) { return -1; }
int CSupernodalCholesky::Solve(CMatrix&) const { return -1; }
int CSupernodalCholesky::Solve(CVector&) const { return -1; }
LONGLONG CSupernodalCholesky::FactorEntries() const { return 0; }
double CSupernodalCholesky::FactorFlops() const { return 0.0; }
CString CSupernodalCholesky::LastFailure() const { return m_pImpl->failure; }
