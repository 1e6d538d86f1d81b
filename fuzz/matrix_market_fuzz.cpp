// The Matrix Market reader on arbitrary files: into a CSparseMatrix or a CSystSpMat (in either
// symmetric mode), a CMatrix or a CVector. Whatever the file holds, reading ends with a status
// (never a crash, hang, leak or an allocation beyond what the entries read pay for). A sparse
// matrix read is written back and read again: the same cells, bit for bit (NaN as NaN).
#include "FuzzFile.h"

#include <tarvel/Tarvel.h>
#include <tarvel/exchange/MatrixMarket.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace
{

// A file name in a folder of this process (in memory when /dev/shm exists) for the round trip.
const std::string& scratch_name()
{
    static const std::string name = []
    {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        return (base / ("tarvel-fuzz-mm-" + std::to_string(::getpid()) + ".mtx")).string();
    }();
    return name;
}

bool same_cells(const CSparseMatrix& a, const CSparseMatrix& b)
{
    const CSparseMatrix::row* r = a.GetFirstRow();
    const CSparseMatrix::row* s = b.GetFirstRow();
    for (; r && s; r = r->m_pNextRow, s = s->m_pNextRow)
    {
        if (r->m_nRow != s->m_nRow) return false;
        const CSparseMatrix::cell* c = r->m_pFirstCell;
        const CSparseMatrix::cell* d = s->m_pFirstCell;
        for (; c && d; c = c->m_pNext, d = d->m_pNext)
        {
            const bool bothNan = std::isnan(c->m_dValue) && std::isnan(d->m_dValue);
            if (c->m_nCol != d->m_nCol ||
                (!bothNan && std::memcmp(&c->m_dValue, &d->m_dValue, sizeof(double)) != 0))
                return false;
        }
        if (c || d) return false;
    }
    return !r && !s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const int which = data[0] % 4;
    CVirtMat::m_bSym = (data[0] & 4) != 0;
    const char* name = tarvel_fuzz::fuzz_file().Hold(data + 1, size - 1);
    CString message;
    switch (which)
    {
    case 0:
    {
        CSparseMatrix A;
        if (MMRead(name, A, &message) != MM_OK) break;
        const std::string& copy = scratch_name();
        if (MMWrite(A, copy.c_str(), MM_GENERAL) != MM_OK) std::abort();
        CSparseMatrix B;
        if (MMRead(copy.c_str(), B, &message) != MM_OK || !same_cells(A, B)) std::abort();
        std::filesystem::remove(copy);
        break;
    }
    case 1:
    {
        CSystSpMat K;
        MMRead(name, K, &message);
        break;
    }
    case 2:
    {
        CMatrix M;
        MMRead(name, M, &message);
        break;
    }
    default:
    {
        CVector v;
        MMRead(name, v, &message);
        break;
    }
    }
    return 0;
}
