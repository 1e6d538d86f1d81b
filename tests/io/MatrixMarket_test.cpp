// Matrix Market files: exact bytes written, round trips, files in the forms other programs write,
// refusals of malformed files (with the target untouched), and a file read by scipy.
#include "support/Dense.h"
#include "support/GlobalState.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>
#include <tarvel/io/MatrixMarket.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

std::string Written(const std::function<int(LPCTSTR)>& write)
{
    TempDir dir;
    const std::string name = dir.file("m.mtx");
    EXPECT_EQ(write(name.c_str()), MM_OK);
    return read_bytes(name);
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

TEST_F(MatrixMarket, WritesExactBytes)
{
    const std::string upperSym = "%%MatrixMarket matrix coordinate real symmetric\n"
                                 "3 3 5\n"
                                 "1 1 4\n"
                                 "3 1 0.10000000000000001\n"
                                 "2 2 -2.5e-300\n"
                                 "3 2 0\n"
                                 "3 3 0.33333333333333331\n";
    const std::string upperGen = "%%MatrixMarket matrix coordinate real general\n"
                                 "3 3 5\n"
                                 "1 1 4\n"
                                 "1 3 0.10000000000000001\n"
                                 "2 2 -2.5e-300\n"
                                 "2 3 0\n"
                                 "3 3 0.33333333333333331\n";
    CSystSpMat K = UpperSystem();
    CSparseMatrix lowerCell = FromTriplets({{0, 0, 1.0}, {1, 0, 2.0}, {1, 1, 3.0}});
    CSparseMatrix wide = FromTriplets({{0, 3, -7.0}});
    CMatrix M = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 0.1});
    CVector v = MakeVector({1e20, -0.5});
    // (what, m_bSym, expected bytes)
    const std::vector<std::tuple<const CVirtMat*, bool, std::string>> cases = {
        {&K, true, upperSym},
        {&K, false, upperGen},
        {&lowerCell, true,  // a cell below the diagonal: not an upper triangle
         "%%MatrixMarket matrix coordinate real general\n2 2 3\n1 1 1\n2 1 2\n2 2 3\n"},
        {&wide, true,  // one row, four columns: not square
         "%%MatrixMarket matrix coordinate real general\n1 4 1\n1 4 -7\n"},
        {&M, true,  // column by column
         "%%MatrixMarket matrix array real general\n2 3\n1\n4\n2\n5\n3\n0.10000000000000001\n"},
        {&v, false, "%%MatrixMarket matrix array real general\n2 1\n1e+20\n-0.5\n"},
    };
    for (const auto& [what, sym, expected] : cases)
    {
        SCOPED_TRACE(expected);
        CVirtMat::m_bSym = sym;
        auto* dense = dynamic_cast<const CVector*>(what);
        auto* sparse = dynamic_cast<const CSparseMatrix*>(what);
        EXPECT_EQ(Written([&](LPCTSTR path)
                          { return dense ? MMWrite(*dense, path) : MMWrite(*sparse, path); }),
                  expected);
    }
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
        // Forged sizes: no storage is made for them.
        {coord + "2000000000 2000000000 1\n1 1 1\n", System, MM_TOO_LARGE, "bytes"},
        {array + "2000000000 1\n1\n", Vector, MM_TOO_LARGE, "bytes"},
        {array + "40000 40000\n1\n", Dense, MM_TOO_LARGE, "bytes"},
        {"%%MatrixMarket matrix array real symmetric\n2000000000 2000000000\n1\n", Sparse,
         MM_TOO_LARGE, "bytes"},
        {coord + "3 3 2000000000\n1 1 1\n", Sparse, MM_COUNT_MISMATCH, "1 entries where"},
        {coord + "3 3 1\n1 1 1\n2 2 2\n", Sparse, MM_COUNT_MISMATCH, "line 4: more entries"},
        {array + "2 1\n1\n", Dense, MM_COUNT_MISMATCH, "1 values where 2"},
        {array + "1 1\n1\n2\n", Dense, MM_COUNT_MISMATCH, "more values"},
        {coord + "3 3 1\n0 1 1\n", Sparse, MM_OUT_OF_RANGE, "line 3: row index 0 outside 1..3"},
        {coord + "3 3 1\n1 4 1\n", System, MM_OUT_OF_RANGE, "column index 4 outside 1..3"},
        {coord + "3 3 1\n1 1 x\n", Sparse, MM_BAD_ENTRY, "line 3: entry is not"},
        {coord + "3 3 1\n1 1\n", Sparse, MM_BAD_ENTRY, "i j value"},
        {coord + "3 3 1\n1 1 1 1\n", Sparse, MM_BAD_ENTRY, "i j value"},
        {coord + "3 3 1\n1.5 1 1\n", Sparse, MM_BAD_ENTRY, "entry"},
        {"%%MatrixMarket matrix coordinate integer general\n1 1 1\n1 1 1.5\n", Sparse, MM_BAD_ENTRY,
         "integer"},
        {"%%MatrixMarket matrix coordinate pattern general\n1 1 1\n1 1 1\n", Sparse, MM_BAD_ENTRY,
         "\"i j\""},
        {coord + "1 1 1\n1 1 " + std::string(5000, '1') + "\n", Sparse, MM_BAD_ENTRY, "line 3"},
        {array + "1 1\nabc\n", Dense, MM_BAD_ENTRY, "not a number"},
        {coord + "2 3 0\n", System, MM_WRONG_SHAPE, "square"},
        {coord + "1 1 0\n", Dense, MM_WRONG_SHAPE, "array"},
        {array + "2 2\n1\n2\n3\n4\n", Vector, MM_WRONG_SHAPE, "one column"},
    };
    TempDir dir;
    const std::string name = dir.file("bad.mtx");
    for (const auto& [file, target, status, text] : cases)
    {
        SCOPED_TRACE(file.substr(0, 200));
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

}  // namespace

// scipy reads what Tarvel writes and Tarvel reads what scipy writes. The matrix scipy sees is
// printed densely, each value as Python's shortest round-trip text, and compared bit for bit with
// the full matrix the upper triangle stands for.
TEST_F(MatrixMarket, InterchangesWithScipy)
{
    const std::string python = PythonWithScipy();
    if (python.empty()) GTEST_SKIP() << "python3 with scipy not found: interchange not checked";
    TempDir dir;
    const std::string tarvelFile = dir.file("k.mtx"), scipyFile = dir.file("s.mtx");
    CVirtMat::m_bSym = true;
    CSystSpMat K = UpperSystem();
    ASSERT_EQ(MMWrite(K, tarvelFile.c_str()), MM_OK);
    const std::string script =
        "import sys, scipy.io, scipy.sparse\n"
        "a = scipy.io.mmread(sys.argv[1])\n"
        "print(type(a).__name__, a.shape)\n"
        "for row in a.toarray(): print(' '.join(repr(float(x)) for x in row))\n"
        "scipy.io.mmwrite(sys.argv[2], scipy.sparse.coo_matrix(a), symmetry='symmetric')\n";
    std::istringstream out(
        Output(python + " -c \"" + script + "\" " + tarvelFile + " " + scipyFile));
    std::string line;
    std::getline(out, line);
    EXPECT_EQ(line, "coo_matrix (3, 3)");
    const CMatrix full = MakeMatrix(3, 3, {4, 0, 0.1, 0, -2.5e-300, 0, 0.1, 0, 1.0 / 3.0});
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            std::string token;
            out >> token;
            EXPECT_EQ(std::strtod(token.c_str(), nullptr), full(i, j)) << i << "," << j;
        }
    // scipy's own symmetric file, read back into upper storage, is the matrix written, its
    // stored zero included.
    CSystSpMat back;
    CString message;
    ASSERT_EQ(MMRead(scipyFile.c_str(), back, &message), MM_OK) << message.GetString();
    EXPECT_TRUE(SameBits(back, UpperSystem())) << Structure(back);
}
