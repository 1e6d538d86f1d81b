// Matrix Market files: exact bytes written, round trips, files in the forms other programs write,
// refusals of malformed files (with the target untouched), and a file read by scipy.
#include "support/Dense.h"
#include "support/GlobalState.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>
#include <tarvel/exchange/MatrixMarket.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

using namespace tarvel_test;
using MatrixMarket = GlobalStateTest;

namespace
{

// 3 x 3 upper triangle with a stored zero and values that need all 17 digits.
// (%.17g drops trailing zeros: -2.5e-300 needs no more digits.)
CSystSpMat UpperSystem()
{
    CSystSpMat K(3);
    for (auto [i, j, v] :
         {std::tuple{0, 0, 4.0}, {0, 2, 0.1}, {1, 1, -2.5e-300}, {1, 2, 0.0}, {2, 2, 1.0 / 3.0}})
        K.m_pRowArray[i].Add(j, v);  // the row's own Add stores the zero
    return K;
}

// What the library reads from a file: the row count of a system target and the lists.
std::string ReadStructure(const std::string& bytes, bool system, int* status = nullptr)
{
    TempDir dir;
    write_bytes(dir.file("in.mtx"), bytes);
    CSystSpMat K;
    CSparseMatrix A;
    CSparseMatrix& target = system ? static_cast<CSparseMatrix&>(K) : A;
    const int s = MMRead(dir.file("in.mtx").c_str(), target);
    if (status) *status = s;
    return (system ? "n=" + std::to_string(K.GetRows()) + " " : "") + Structure(target);
}

}  // namespace

// The bytes of each form, and the matrix's own size and symmetry: a symmetric file only for what
// is symmetric by construction (a system matrix in symmetric mode, or as the caller states),
// never for an upper-triangular general matrix; empty trailing rows kept.
TEST_F(MatrixMarket, WritesExactBytes)
{
    const std::string sym = "%%MatrixMarket matrix coordinate real symmetric\n";
    const std::string gen = "%%MatrixMarket matrix coordinate real general\n";
    CSystSpMat K = UpperSystem();
    CSparseMatrix lowerCell = FromTriplets({{0, 0, 1.0}, {1, 0, 2.0}, {1, 1, 3.0}});
    CSparseMatrix wide = FromTriplets({{0, 3, -7.0}});
    CSparseMatrix upperTri = FromTriplets({{0, 0, 1.0}, {0, 1, 2.0}, {1, 1, 3.0}});
    CSparseMatrix noDiagonal = FromTriplets({{0, 1, 1.0}, {1, 2, 1.0}});  // 3 x 3 pattern
    CSystSpMat noDiagonalK = tarvel_test::System(3, FromTriplets({{0, 1, 1.0}, {1, 2, 1.0}}));
    CSparseMatrix readBack = FromTriplets({{0, 0, 1.0}});
    readBack.m_nAllocRows = 5;  // as MMRead leaves a "5 4" file with one entry
    readBack.m_nAllocCols = 4;
    CMatrix M = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 0.1});
    CVector v = MakeVector({1e20, -0.5});
    const int asStored = MM_AS_STORED, upper = MM_SYMMETRIC_UPPER, general = MM_GENERAL;
    // (what, m_bSym, symmetry, n, status, expected bytes)
    const std::vector<std::tuple<const CVirtMat*, bool, int, int, int, std::string>> cases = {
        {&K, true, asStored, -1, MM_OK,
         sym + "3 3 5\n1 1 4\n3 1 0.10000000000000001\n2 2 -2.5e-300\n3 2 0\n"
               "3 3 0.33333333333333331\n"},
        {&K, false, asStored, -1, MM_OK,
         gen + "3 3 5\n1 1 4\n1 3 0.10000000000000001\n2 2 -2.5e-300\n2 3 0\n"
               "3 3 0.33333333333333331\n"},
        {&K, true, general, 5, MM_OK,  // the size the caller gives: two empty trailing rows
         gen + "5 5 5\n1 1 4\n1 3 0.10000000000000001\n2 2 -2.5e-300\n2 3 0\n"
               "3 3 0.33333333333333331\n"},
        {&lowerCell, true, asStored, -1, MM_OK, gen + "2 2 3\n1 1 1\n2 1 2\n2 2 3\n"},
        {&lowerCell, false, upper, -1, MM_WRONG_SHAPE, ""},  // a cell below the diagonal
        {&wide, true, asStored, -1, MM_OK, gen + "1 4 1\n1 4 -7\n"},
        {&wide, true, general, 3, MM_WRONG_SHAPE, ""},  // a cell beyond the size given
        {&upperTri, true, asStored, -1, MM_OK, gen + "2 2 3\n1 1 1\n1 2 2\n2 2 3\n"},
        {&upperTri, true, upper, -1, MM_OK, sym + "2 2 3\n1 1 1\n2 1 2\n2 2 3\n"},
        {&noDiagonal, true, upper, -1, MM_OK, sym + "3 3 2\n2 1 1\n3 2 1\n"},
        {&noDiagonalK, true, asStored, -1, MM_OK, sym + "3 3 2\n2 1 1\n3 2 1\n"},
        {&readBack, false, asStored, -1, MM_OK, gen + "5 4 1\n1 1 1\n"},
        {&M, true, asStored, -1, MM_OK,  // column by column
         "%%MatrixMarket matrix array real general\n2 3\n1\n4\n2\n5\n3\n0.10000000000000001\n"},
        {&v, false, asStored, -1, MM_OK,
         "%%MatrixMarket matrix array real general\n2 1\n1e+20\n-0.5\n"},
    };
    TempDir dir;
    const std::string name = dir.file("m.mtx");
    for (const auto& [what, bSym, symmetry, n, status, expected] : cases)
    {
        SCOPED_TRACE(expected);
        CVirtMat::m_bSym = bSym;
        std::filesystem::remove(name);
        auto* dense = dynamic_cast<const CVector*>(what);
        auto* sparse = dynamic_cast<const CSparseMatrix*>(what);
        EXPECT_EQ(dense ? MMWrite(*dense, name.c_str())
                        : MMWrite(*sparse, name.c_str(), symmetry, n),
                  status);
        EXPECT_EQ(status == MM_OK ? read_bytes(name) : "", expected);
        EXPECT_EQ(std::filesystem::exists(name), status == MM_OK);
    }
}

// The values as printf's "%.17g" in the C locale writes them, byte for byte: a golden file of
// 2,100 values (random bit patterns over every exponent, subnormals, signed zeros, the limits,
// infinities, NaN, the switch points of the exponent form) read and written back unchanged.
TEST_F(MatrixMarket, WritesValuesAsPrintf17g)
{
    const std::string golden = std::string(TARVEL_TEST_DATA_DIR) + "/mm/values-17g.mtx";
    CVector v;
    ASSERT_EQ(MMRead(golden.c_str(), v), MM_OK);
    ASSERT_EQ(v.GetSize(), 2100);
    TempDir dir;
    ASSERT_EQ(MMWrite(v, dir.file("v.mtx").c_str()), MM_OK);
    EXPECT_TRUE(read_bytes(dir.file("v.mtx")) == read_bytes(golden));
}

// read(write(A)) == A bit for bit, stored zeros included, for upper and full storage, plain and
// system targets, and dense matrices and vectors.
TEST_F(MatrixMarket, RoundTripsEveryClassBitForBit)
{
    std::mt19937 gen(7);
    TempDir dir;
    const std::string name = dir.file("rt.mtx");
    for (bool upper : {true, false})
        for (bool system : {true, false})
        {
            SCOPED_TRACE(testing::Message() << "upper " << upper << " system " << system);
            CVirtMat::m_bSym = upper;
            CSparseMatrix S = RandomSparse(gen, {40, 3, 6, upper, 10.0, !system});
            CSystSpMat K(40);
            CSystSpMat back;
            CSparseMatrix plainBack;
            CSparseMatrix& source = system ? static_cast<CSparseMatrix&>(K) : S;
            if (system)
                for (const auto* r = S.GetFirstRow(); r; r = r->m_pNextRow)
                    for (const auto* c = r->m_pFirstCell; c; c = c->m_pNext)
                        K.m_pRowArray[r->m_nRow].Add(c->m_nCol, c->m_dValue);  // zeros kept
            ASSERT_EQ(MMWrite(source, name.c_str()), MM_OK);
            CSparseMatrix& target = system ? static_cast<CSparseMatrix&>(back) : plainBack;
            ASSERT_EQ(MMRead(name.c_str(), target), MM_OK);
            EXPECT_TRUE(SameBits(target, source)) << Structure(target);
            if (system)
            {
                EXPECT_EQ(back.GetRows(), 40);
            }
        }
    CMatrix M = RandomMatrix(5, 3, 11), Mback;
    ASSERT_EQ(MMWrite(M, name.c_str()), MM_OK);
    ASSERT_EQ(MMRead(name.c_str(), Mback), MM_OK);
    EXPECT_TRUE(SameBits(Mback, M));
    CVector v = MakeVector({0.1, -1e-310, 3.0}), vback;
    ASSERT_EQ(MMWrite(v, name.c_str()), MM_OK);
    ASSERT_EQ(MMRead(name.c_str(), vback), MM_OK);
    EXPECT_EQ(Text(vback), Text(v));
}

// Files in the forms other programs write: comments, blank lines, "\r\n", upper-case banner
// words, integer and pattern fields, repeated coordinates, symmetric storage either way.
TEST_F(MatrixMarket, ReadsForeignSparseFiles)
{
    const std::string symInt = "%%MatrixMarket matrix coordinate integer symmetric\n"
                               "% a comment\n\n%" +
                               std::string(5000, 'c') +
                               "\n"
                               "3 3 4\n"
                               "1 1 2\n"
                               "2 1 -1\n"
                               "1 3 5\n"  // above the diagonal: stands for (3, 1) as well
                               "3 3 2\n";
    // (file, m_bSym, system target, expected structure)
    const std::vector<std::tuple<std::string, bool, bool, std::string>> cases = {
        {symInt, true, false, "0: 0=2 1=-1 2=5; 2: 2=2"},
        {symInt, false, false, "0: 0=2 1=-1 2=5; 1: 0=-1; 2: 0=5 2=2"},
        {symInt, true, true, "n=3 0: 0=2 1=-1 2=5; 1:; 2: 2=2"},
        {"%%MATRIXMARKET Matrix Coordinate Pattern General\r\n2 3 2\r\n2 3\r\n1 1\r\n", false,
         false, "0: 0=1; 1: 2=1"},
        {"%%MatrixMarket matrix coordinate real general\n2 2 3\n1 2 0.5\n1 2 0.25\n2 1 0\n", false,
         true, "n=2 0: 1=0.75; 1: 0=0"},  // repeats summed, an explicit zero kept
        {"%%MatrixMarket matrix array real general\n2 2\n1\n0\n0\n4\n", false, false,
         "0: 0=1; 1: 1=4"},  // zeros of an array are not entries
        {"%%MatrixMarket matrix array integer symmetric\n2 2\n1\n7\n3\n", false, true,
         "n=2 0: 0=1 1=7; 1: 0=7 1=3"},
        {"%%MatrixMarket matrix coordinate real general\n2 2 0\n", false, true, "n=2 0:; 1:"},
        // Comments and blank lines between entries, as other programs accept them.
        {"%%MatrixMarket matrix coordinate real general\n2 2 2\n1 1 1\n% between\n\n2 2 2\n", false,
         false, "0: 0=1; 1: 1=2"},
        // An integer field beyond 64 bits reads as the real it denotes, not saturated.
        {"%%MatrixMarket matrix coordinate integer general\n1 3 3\n1 1 100000000000000000000\n"
         "1 2 -9223372036854775809\n1 3 " +
             std::string(400, '9') + "\n",
         false, false, "0: 0=1e+20 1=-9.2233720368547758e+18 2=inf"},
        // What strtod reads in the C locale: a plus sign, hexadecimal, an exponent beyond range.
        {"%%MatrixMarket matrix coordinate real general\n1 3 3\n1 1 +1.5\n1 2 0x1p-3\n1 3 1e999\n",
         false, false, "0: 0=1.5 1=0.125 2=inf"},
    };
    for (const auto& [file, sym, system, expected] : cases)
    {
        SCOPED_TRACE(file);
        CVirtMat::m_bSym = sym;
        int status = -1;
        EXPECT_EQ(ReadStructure(file, system, &status), expected);
        EXPECT_EQ(status, MM_OK);
    }
}

TEST_F(MatrixMarket, ReadsDenseArrays)
{
    TempDir dir;
    const std::string name = dir.file("d.mtx");
    write_bytes(name, "%%MatrixMarket matrix array real symmetric\n3 3\n1\n2\n3\n4\n5\n6\n");
    CMatrix M;
    ASSERT_EQ(MMRead(name.c_str(), M), MM_OK);
    EXPECT_TRUE(SameBits(M, MakeMatrix(3, 3, {1, 2, 3, 2, 4, 5, 3, 5, 6})));
    for (const char* row : {"1 3\n", "3 1\n"})  // a vector from one row or one column
    {
        write_bytes(name, std::string("%%MatrixMarket matrix array integer general\n") + row +
                              "7\n-8\n9\n");
        CVector v;
        ASSERT_EQ(MMRead(name.c_str(), v), MM_OK);
        EXPECT_EQ(Text(v), Text(MakeVector({7, -8, 9})));
    }
}

// Every refusal: a status, a message naming the line, and the target exactly as it was.
TEST_F(MatrixMarket, RefusesMalformedFilesAndKeepsTheTarget)
{
    const std::string coord = "%%MatrixMarket matrix coordinate real general\n";
    const std::string array = "%%MatrixMarket matrix array real general\n";
    enum Target
    {
        Sparse,
        System,
        Dense,
        Vector
    };
    // (file, target, status, text the message holds)
    const std::vector<std::tuple<std::string, Target, int, std::string>> cases = {
        {"", Sparse, MM_BAD_BANNER, "no banner"},
        {"%MatrixMarket matrix coordinate real general\n1 1 0\n", Sparse, MM_BAD_BANNER, "line 1"},
        {"%%MatrixMarket matrix coordinate real\n1 1 0\n", Sparse, MM_BAD_BANNER, "banner"},
        {"%%MatrixMarket matrix coordinate complex general\n", Sparse, MM_UNSUPPORTED, "complex"},
        {"%%MatrixMarket matrix coordinate real hermitian\n", Sparse, MM_UNSUPPORTED, "hermitian"},
        {"%%MatrixMarket vector coordinate real general\n", Sparse, MM_UNSUPPORTED, "vector"},
        {"%%MatrixMarket matrix array pattern general\n", Dense, MM_BAD_BANNER, "pattern"},
        {"%%MatrixMarket matrix sparse real general\n", Sparse, MM_BAD_BANNER, "sparse"},
        {coord + "% only a comment\n", Sparse, MM_BAD_SIZE, "no size line"},
        {coord + "3 3\n", Sparse, MM_BAD_SIZE, "line 2: size line"},
        {coord + "3 3 1 1\n", Sparse, MM_BAD_SIZE, "size line"},
        {coord + "3 -3 1\n", Sparse, MM_BAD_SIZE, "negative"},
        {coord + "3000000000 3 1\n1 1 1\n", Sparse, MM_TOO_LARGE, "int"},
        {"%%MatrixMarket matrix coordinate real symmetric\n3 2 0\n", Sparse, MM_BAD_SIZE, "square"},
        // Forged sizes: nothing is sized beyond what the entries read pay for.
        {coord + "2000000000 2000000000 1\n1 1 1\n", System, MM_TOO_LARGE,
         "line 3: 2000000000 rows for 1 entries"},
        {array + "2000000000 1\n1\n", Vector, MM_COUNT_MISMATCH, "1 values where 2000000000"},
        {array + "40000 40000\n1\n", Dense, MM_COUNT_MISMATCH, "1 values where 1600000000"},
        {array + "50000 50000\n1\n", Dense, MM_TOO_LARGE, "int indices"},
        {"%%MatrixMarket matrix array real symmetric\n2000000000 2000000000\n1\n", Sparse,
         MM_COUNT_MISMATCH, "1 values where"},
        {coord + "3 3 2000000000\n1 1 1\n", Sparse, MM_COUNT_MISMATCH, "1 entries where"},
        {coord + "3 3 1\n1 1 1\n2 2 2\n", Sparse, MM_COUNT_MISMATCH, "line 4: more entries"},
        {array + "2 1\n1\n", Dense, MM_COUNT_MISMATCH, "1 values where 2"},
        {array + "1 1\n1\n2\n", Dense, MM_COUNT_MISMATCH, "more values"},
        {coord + "3 3 1\n0 1 1\n", Sparse, MM_OUT_OF_RANGE, "line 3: row index 0 outside 1..3"},
        {coord + "3 3 1\n1 4 1\n", System, MM_OUT_OF_RANGE, "column index 4 outside 1..3"},
        {coord + "3 3 1\n99999999999999999999 1 1\n", Sparse, MM_OUT_OF_RANGE,
         "row index 99999999999999999999 outside 1..3"},
        {coord + "3 3 1\n1 1 x\n", Sparse, MM_BAD_ENTRY,
         "line 3: entry is not \"i j value\": \"x\" is not a number"},
        {coord + "3 3 1\n1 1 0,5\n", Sparse, MM_BAD_ENTRY, "\"0,5\" is not a number"},
        {coord + "3 3 1\n1 1\n", Sparse, MM_BAD_ENTRY, "i j value\": the value is missing"},
        {coord + "3 3 1\n1 1 1 1\n", Sparse, MM_BAD_ENTRY, "text after the entry: \"1\""},
        {coord + "3 3 1\n1.5 1 1\n", Sparse, MM_BAD_ENTRY, "\"1.5\" is not an integer index"},
        // NUL bytes: an entry cut short by a zero-filled tail refuses the line.
        {coord + "1 1 1\n1 1 0.123" + std::string(4, '\0') + "\n", Sparse, MM_BAD_ENTRY,
         "line 3: entry is not \"i j value\" (a NUL byte in the line)"},
        {coord + "1 1 2\n1 1 0.5\n" + std::string(9, '\0'), Sparse, MM_BAD_ENTRY,
         "line 4: entry is not \"i j value\" (a NUL byte in the line)"},
        {coord + "3 3 1" + std::string(5000, ' ') + "\n", Sparse, MM_BAD_SIZE,
         "line 2: size line is not \"rows cols entries\" (the line is longer than 4096"},
        {"%%MatrixMarket matrix coordinate integer general\n1 1 1\n1 1 1.5\n", Sparse, MM_BAD_ENTRY,
         "integer"},
        {"%%MatrixMarket matrix coordinate pattern general\n1 1 1\n1 1 1\n", Sparse, MM_BAD_ENTRY,
         "\"i j\""},
        {coord + "1 1 1\n1 1 " + std::string(5000, '1') + "\n", Sparse, MM_BAD_ENTRY,
         "line 3: entry is not \"i j value\" (the line is longer than 4096 characters)"},
        {array + "1 1\nabc\n", Dense, MM_BAD_ENTRY, "not a number"},
        {coord + "2 3 0\n", System, MM_WRONG_SHAPE, "square"},
        {coord + "1 1 0\n", Dense, MM_WRONG_SHAPE, "array"},
        {array + "2 2\n1\n2\n3\n4\n", Vector, MM_WRONG_SHAPE, "one column"},
    };
    TempDir dir;
    const std::string name = dir.file("bad.mtx");
    for (const auto& [file, target, status, text] : cases)
    {
        SCOPED_TRACE(file.substr(0, 120));
        write_bytes(name, file);
        CSparseMatrix A = FromTriplets({{1, 1, 5.0}});
        CSystSpMat K = tarvel_test::System(2, FromTriplets({{0, 1, 6.0}}));
        CMatrix M = MakeMatrix(1, 2, {1, 2});
        CVector v = MakeVector({3});
        CString message;
        int got = -1;
        switch (target)
        {
        case Sparse:
            got = MMRead(name.c_str(), A, &message);
            break;
        case System:
            got = MMRead(name.c_str(), static_cast<CSparseMatrix&>(K), &message);
            break;
        case Dense:
            got = MMRead(name.c_str(), M, &message);
            break;
        case Vector:
            got = MMRead(name.c_str(), v, &message);
            break;
        }
        EXPECT_EQ(got, status) << message.GetString();
        EXPECT_NE(std::string(message.GetString()).find(text), std::string::npos)
            << message.GetString();
        EXPECT_EQ(Structure(A), "1: 1=5");
        EXPECT_EQ(Structure(K), "0: 1=6; 1:");
        EXPECT_TRUE(SameBits(M, MakeMatrix(1, 2, {1, 2})));
        EXPECT_EQ(Text(v), Text(MakeVector({3})));
    }
    CString message;
    CSparseMatrix A;
    EXPECT_EQ(MMRead(dir.file("missing.mtx").c_str(), A, &message), MM_OPEN_FAILED);
    EXPECT_NE(std::string(message.GetString()).find("missing.mtx"), std::string::npos);
}

// A failed write leaves no file under the target name, nor the partial one beside it; a good one
// replaces an older file. A target that exists and is not a regular file (a directory, a pipe)
// is refused, and left what it was.
TEST_F(MatrixMarket, WritesIntoPlaceOrNotAtAll)
{
    namespace fs = std::filesystem;
    TempDir dir;
    const CVector v = MakeVector({1});
    write_bytes(dir.file("v.mtx"), "old");
    fs::create_directory(dir.file("d.mtx"));
    ASSERT_EQ(::mkfifo(dir.file("p.mtx").c_str(), 0600), 0);
    for (const auto& [name, status] : {std::pair{"no/such/dir/v.mtx", MM_OPEN_FAILED},
                                       {"v.mtx", MM_OK},
                                       {"d.mtx", MM_OPEN_FAILED},
                                       {"p.mtx", MM_OPEN_FAILED}})
        EXPECT_EQ(MMWrite(v, dir.file(name).c_str()), status) << name;
    EXPECT_EQ(read_bytes(dir.file("v.mtx")), "%%MatrixMarket matrix array real general\n1 1\n1\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);
    EXPECT_TRUE(fs::is_directory(dir.file("d.mtx")));
    EXPECT_TRUE(fs::is_fifo(dir.file("p.mtx")));
}

// A character device as the target (made in a scratch folder) is written in place, not replaced.
TEST_F(MatrixMarket, WritesIntoADeviceWithoutReplacingIt)
{
    TempDir dir;
    if (!make_null_device(dir.file("null"))) GTEST_SKIP() << "no device node can be made here";
    EXPECT_EQ(MMWrite(MakeVector({1}), dir.file("null").c_str()), MM_OK);
    EXPECT_TRUE(is_char_device(dir.file("null")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

namespace
{

// A python3 that imports scipy.io, or "" when there is none.
std::string PythonWithScipy()
{
    for (const char* python : {"python3", "/usr/bin/python3"})
        if (std::system((std::string(python) + " -c 'import scipy.io' >/dev/null 2>&1").c_str()) ==
            0)
            return python;
    return "";
}

// Standard output of a command.
std::string Output(const std::string& command)
{
    std::string text;
    if (FILE* p = popen(command.c_str(), "r"))
    {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
        pclose(p);
    }
    return text;
}

// read(name) on a named pipe that `cat` fills with the file: no length, no seeking, as from
// `<(zcat m.mtx.gz)`. The shell opens the pipe before cat runs, so the reader never waits for
// a writer that does not come.
int ThroughPipe(const std::string& file, const std::function<int(const char*)>& read)
{
    const std::string fifo = file + ".fifo";
    std::filesystem::remove(fifo);
    if (mkfifo(fifo.c_str(), 0600) != 0) return -1;
    FILE* feeder = popen(("cat '" + file + "' > '" + fifo + "'").c_str(), "r");
    const int status = read(fifo.c_str());
    if (feeder) pclose(feeder);
    std::filesystem::remove(fifo);
    return status;
}

// The dense text of what a sparse matrix stands for, rows x cols, as Python's repr prints each
// value: "r c: v v v ...", the upper triangle mirrored when upper.
std::string DenseRepr(const CSparseMatrix& A, int rows, int cols, bool upper)
{
    std::vector<double> full(std::size_t(rows) * cols, 0.0);
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
        {
            full[std::size_t(r->m_nRow) * cols + c->m_nCol] = c->m_dValue;
            if (upper) full[std::size_t(c->m_nCol) * cols + r->m_nRow] = c->m_dValue;
        }
    std::string text = std::to_string(rows) + " " + std::to_string(cols) + ":";
    char buf[40];
    for (double x : full)  // shortest round trip, as repr writes it ("1.0", not "1")
    {
        const std::string shortest(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
        text += " " + shortest + (shortest.find_first_of(".en") == std::string::npos ? ".0" : "");
    }
    return text;
}

}  // namespace

// Files without a length (pipes) read like files, and a system matrix's size bounded by its
// entries, not by the bytes of the file: a 2000 x 2000 system with 3 entries is read.
TEST_F(MatrixMarket, ReadsPipesAndSizesBeyondTheFileLength)
{
    CVirtMat::m_bSym = false;
    TempDir dir;
    const std::string name = dir.file("p.mtx");
    write_bytes(name, "%%MatrixMarket matrix coordinate real general\n2000 2000 3\n1 1 1\n"
                      "2000 2000 2\n7 3 -1\n");
    for (bool pipe : {false, true})
    {
        SCOPED_TRACE(pipe);
        CSystSpMat K;
        CString message;
        const auto read = [&](const char* path) { return MMRead(path, K, &message); };
        EXPECT_EQ(pipe ? ThroughPipe(name, read) : read(name.c_str()), MM_OK)
            << message.GetString();
        EXPECT_EQ(K.GetRows(), 2000);
        const double* k62 = K.GetValue(6, 2);
        const double* kLast = K.GetValue(1999, 1999);
        EXPECT_TRUE(k62 && *k62 == -1.0 && kLast && *kLast == 2.0) << Structure(K).substr(0, 99);
    }
    write_bytes(name, "%%MatrixMarket matrix array real symmetric\n2 2\n1\n2\n3\n");
    CMatrix M;
    EXPECT_EQ(ThroughPipe(name, [&](const char* path) { return MMRead(path, M); }), MM_OK);
    EXPECT_TRUE(SameBits(M, MakeMatrix(2, 2, {1, 2, 2, 3})));
}

// scipy reads what Tarvel writes as the same matrix, and Tarvel reads what scipy writes (through
// a pipe) as the same matrix, for each form of sparse file the writer makes: a symmetric system
// with a stored zero, a general matrix with empty trailing rows, a symmetric pattern without
// a diagonal, an upper-triangular general matrix in symmetric mode. scipy prints each matrix
// densely, each value as Python's shortest round-trip text, compared with the dense matrix the
// cells stand for.
TEST_F(MatrixMarket, InterchangesWithScipy)
{
    const std::string python = PythonWithScipy();
    if (python.empty()) GTEST_SKIP() << "python3 with scipy not found: interchange not checked";
    CVirtMat::m_bSym = true;
    struct Case
    {
        CSparseMatrix A;
        bool system;  // written as a CSystSpMat of rows rows, else with the size given
        int symmetry, rows, cols;
        bool upper;  // the cells are an upper triangle standing for both
    };
    std::vector<Case> cases;
    cases.push_back({UpperSystem(), true, MM_AS_STORED, 3, 3, true});
    cases.push_back({FromTriplets({{0, 0, 1.5}, {2, 1, -2.0}}), false, MM_GENERAL, 5, 5, false});
    cases.push_back(
        {FromTriplets({{0, 1, 1.0}, {1, 2, 1.0}}), false, MM_SYMMETRIC_UPPER, 3, 3, true});
    cases.push_back(
        {FromTriplets({{0, 0, 1.0}, {0, 1, 0.1}, {1, 1, 3.0}}), false, MM_AS_STORED, 2, 2, false});
    TempDir dir;
    std::string args;
    for (std::size_t k = 0; k < cases.size(); ++k)
    {
        const Case& c = cases[k];
        const std::string mine = dir.file("t" + std::to_string(k) + ".mtx");
        if (c.system)
            ASSERT_EQ(MMWrite(tarvel_test::System(c.rows, CSparseMatrix(c.A)), mine.c_str()),
                      MM_OK);
        else
            ASSERT_EQ(MMWrite(c.A, mine.c_str(), c.symmetry, c.rows == c.cols ? c.rows : -1),
                      MM_OK);
        args += " " + mine + " " + dir.file("s" + std::to_string(k) + ".mtx");
    }
    const std::string script =
        "import sys, scipy.io, scipy.sparse\n"
        "for mine, theirs in zip(sys.argv[1::2], sys.argv[2::2]):\n"
        "    a = scipy.io.mmread(mine)\n"
        "    print('%d %d:' % a.shape, ' '.join(repr(float(x)) for x in a.toarray().flat))\n"
        "    scipy.io.mmwrite(theirs, scipy.sparse.coo_matrix(a))\n";
    std::istringstream out(Output(python + " -c \"" + script + "\"" + args));
    for (std::size_t k = 0; k < cases.size(); ++k)
    {
        const Case& c = cases[k];
        SCOPED_TRACE(k);
        const std::string expected = DenseRepr(c.A, c.rows, c.cols, c.upper);
        std::string line;
        std::getline(out, line);
        EXPECT_EQ(line, expected);
        // scipy's file read back in full storage is the same dense matrix.
        CVirtMat::m_bSym = false;
        CSparseMatrix back;
        CString message;
        ASSERT_EQ(ThroughPipe(dir.file("s" + std::to_string(k) + ".mtx"),
                              [&](const char* path) { return MMRead(path, back, &message); }),
                  MM_OK)
            << message.GetString();
        EXPECT_EQ(DenseRepr(back, c.rows, c.cols, false), expected);
        CVirtMat::m_bSym = true;
    }
}
