// The BLAS and LAPACK routines the numeric factorization and the solves call, through their
// Fortran names (column-major, arguments by address, 32-bit integers), so that any BLAS links;
// and the thread count of a BLAS that has its own threads (OpenBLAS), found at run time.
#pragma once

extern "C"
{
    void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k,
                const double* alpha, const double* a, const int* lda, const double* beta, double* c,
                const int* ldc);
    void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                const double* alpha, const double* a, const int* lda, const double* b,
                const int* ldb, const double* beta, double* c, const int* ldc);
    void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag,
                const int* m, const int* n, const double* alpha, const double* a, const int* lda,
                double* b, const int* ldb);
    void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info);
    void dtrsv_(const char* uplo, const char* trans, const char* diag, const int* n,
                const double* a, const int* lda, double* x, const int* incx);
    void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
                const int* lda, const double* x, const int* incx, const double* beta, double* y,
                const int* incy);
}

namespace tarvel::direct
{

// Sets the BLAS's own thread count for the lifetime of the object and restores the previous
// count afterwards. With a BLAS that offers no such control (no openblas_set_num_threads in
// the process) it does nothing: such a BLAS is taken to run on the caller's thread.
class BlasThreads
{
public:
    explicit BlasThreads(int threads);
    ~BlasThreads();
    BlasThreads(const BlasThreads&) = delete;
    BlasThreads& operator=(const BlasThreads&) = delete;

    void Set(int threads) const;  // a new count while the object lives

private:
    int m_nPrevious = 0;  // 0: no control found
};

}  // namespace tarvel::direct
