// Matrix Market files: exact bytes written (golden files, values read back unchanged), files in
// the forms other programs write and malformed ones (a table of files with the result or the
// exact refusal), under the C and a comma-decimal locale; writes into place, pipes, and the
// interchange with scipy.
#include "io/TextFiles.h"

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

using namespace tarvel_test;
using MatrixMarket = GlobalStateTest;

namespace
{

const std::string kData = std::string(TARVEL_TEST_DATA_DIR) + "/mm/";

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

// The dense rows x cols matrix of the cells of A, as Text writes it (each value "%.17g").
std::string DenseText(const CSparseMatrix& A, int rows, int cols)
{
    CMatrix full(rows, cols, true, 0.0);
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            full(r->m_nRow, c->m_nCol) = c->m_dValue;
    return Text(full);
}

// What a target of the kind named (sparse, system, dense, vector), holding something before,
// holds after reading the bytes from a file or through a pipe; for a refusal the status and the
// message, and a note should the target have changed.
std::string ReadInto(const std::string& kind, const std::string& bytes, bool pipe)
{
    static const char* const kStatus[] = {
        "MM_OK",           "MM_OPEN_FAILED",    "MM_WRITE_FAILED", "MM_BAD_BANNER",
        "MM_UNSUPPORTED",  "MM_BAD_SIZE",       "MM_TOO_LARGE",    "MM_BAD_ENTRY",
        "MM_OUT_OF_RANGE", "MM_COUNT_MISMATCH", "MM_WRONG_SHAPE"};
    TempDir dir;
    const std::string name = dir.file("in.mtx");
    write_bytes(name, bytes);
    CSparseMatrix A = FromTriplets({{1, 1, 5.0}});
    CSystSpMat K = tarvel_test::System(2, FromTriplets({{0, 1, 6.0}}));
    CMatrix M = MakeMatrix(1, 2, {1, 2});
    CVector v = MakeVector({3});
    const auto text = [&]
    {
        if (kind == "sparse") return Structure(A);
        if (kind == "system") return "n=" + std::to_string(K.GetRows()) + " " + Structure(K);
        return kind == "dense" ? Text(M) : Text(v);
    };
    const std::string before = text();
    CString message;
    const auto read = [&](const char* path)
    {
        if (kind == "sparse") return MMRead(path, A, &message);
        if (kind == "system") return MMRead(path, static_cast<CSparseMatrix&>(K), &message);
        return kind == "dense" ? MMRead(path, M, &message) : MMRead(path, v, &message);
    };
    const int status = pipe ? ThroughPipe(name, read) : read(name.c_str());
    if (status == MM_OK) return text();
    return kStatus[status] + (": " + message.str()) + (text() == before ? "" : " (changed)");
}

}  // namespace

// The bytes of each form: a symmetric file only for what is symmetric by construction (a system
// matrix in symmetric mode, or as the caller states), never for an upper-triangular general
// matrix; the size the caller gives, a system's order, or what the cells and the last Allocate
// reach; dense matrices column by column; values as printf's "%.17g" in the C locale writes them
// (values-17g.mtx: 2,100 values, random bit patterns over every exponent, subnormals, signed
// zeros, the limits, infinities, NaN, the switch points of the exponent form, read and written
// back unchanged). Refused writes make no file: a cell below the diagonal of a symmetric one, a
// cell beyond the size given.
TEST_F(MatrixMarket, WritesTheGoldenFiles)
{
    CSystSpMat K(3);  // an upper triangle with a stored zero and values that need 17 digits
    for (auto [i, j, v] :
         {std::tuple{0, 0, 4.0}, {0, 2, 0.1}, {1, 1, -2.5e-300}, {1, 2, 0.0}, {2, 2, 1.0 / 3.0}})
        K.m_pRowArray[i].Add(j, v);  // the row's own Add stores the zero
    CSparseMatrix lowerCell = FromTriplets({{0, 0, 1.0}, {1, 0, 2.0}, {1, 1, 3.0}});
    CSparseMatrix wide = FromTriplets({{0, 3, -7.0}});
    CSparseMatrix upperTri = FromTriplets({{0, 0, 1.0}, {0, 1, 2.0}, {1, 1, 3.0}});
    CSparseMatrix noDiagonal = FromTriplets({{0, 1, 1.0}, {1, 2, 1.0}});  // 3 x 3 pattern
    CSystSpMat noDiagonalK = tarvel_test::System(3, FromTriplets({{0, 1, 1.0}, {1, 2, 1.0}}));
    CSparseMatrix readBack = FromTriplets({{0, 0, 1.0}});
    readBack.m_nAllocRows = 5;  // as MMRead leaves a "5 4" file with one entry
    readBack.m_nAllocCols = 4;
    CMatrix M = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 0.1});
    CVector v = MakeVector({1e20, -0.5}), values;
    ASSERT_EQ(MMRead((kData + "values-17g.mtx").c_str(), values), MM_OK);
    const int asStored = MM_AS_STORED, upper = MM_SYMMETRIC_UPPER, general = MM_GENERAL;
    // (what, m_bSym, symmetry, n, golden file or "" for a refusal with MM_WRONG_SHAPE)
    // clang-format off
    const std::vector<std::tuple<const CVirtMat*, bool, int, int, std::string>> cases = {
        {&K, true, asStored, -1, "system-symmetric.mtx"},
        {&K, false, asStored, -1, "system-general.mtx"},
        {&K, true, general, 5, "system-order-5.mtx"},       // two empty trailing rows
        {&lowerCell, true, asStored, -1, "lower-cell.mtx"}, {&lowerCell, false, upper, -1, ""},
        {&wide, true, asStored, -1, "wide.mtx"},            {&wide, true, general, 3, ""},
        {&upperTri, true, asStored, -1, "upper-general.mtx"},
        {&upperTri, true, upper, -1, "upper-symmetric.mtx"},
        {&noDiagonal, true, upper, -1, "no-diagonal.mtx"},
        {&noDiagonalK, true, asStored, -1, "no-diagonal.mtx"},
        {&readBack, false, asStored, -1, "allocated-size.mtx"},
        {&M, true, asStored, -1, "dense.mtx"},              {&v, false, asStored, -1, "vector.mtx"},
        {&values, false, asStored, -1, "values-17g.mtx"},
    };
    // clang-format on
    TempDir dir;
    const std::string name = dir.file("m.mtx");
    under_each_locale(
        [&]
        {
            for (const auto& [what, bSym, symmetry, n, golden] : cases)
            {
                CVirtMat::m_bSym = bSym;
                std::filesystem::remove(name);
                auto* dense = dynamic_cast<const CVector*>(what);
                auto* sparse = dynamic_cast<const CSparseMatrix*>(what);
                EXPECT_EQ(dense ? MMWrite(*dense, name.c_str())
                                : MMWrite(*sparse, name.c_str(), symmetry, n),
                          golden.empty() ? MM_WRONG_SHAPE : MM_OK)
                    << golden;
                EXPECT_TRUE(golden.empty() ? !std::filesystem::exists(name)
                                           : read_bytes(name) == read_bytes(kData + golden))
                    << golden;
            }
        });
}

// The table of files in tests/data/mm/read-cases.txt (comments, blank lines, CR LF, upper-case
// banner words, integer and pattern fields, repeated coordinates, symmetric storage either way,
// dense arrays, a long comment, lines longer than the reader takes, NUL bytes; every refusal
// with its message) and a 2000 x 2000 system with 3 entries (a pipe has no length to bound a
// size by), each read from a file and through a pipe (no length, no seeking, as from
// "<(zcat m.mtx.gz)"). A missing file names itself.
TEST_F(MatrixMarket, ReadsEveryCaseOfTheTable)
{
    std::vector<std::pair<std::string, std::string>> cases;  // (header, file)
    std::istringstream table(read_bytes(kData + "read-cases.txt"));
    for (std::string line; std::getline(table, line);)
        if (line.rfind("== ", 0) == 0)
            cases.push_back({line.substr(3), ""});
        else if (!cases.empty())
            cases.back().second += table_bytes(line, {"\n"}) + "\n";
    ASSERT_GT(cases.size(), 50u);
    std::string order = "system | n=2000 0: 0=1";  // a size bounded by the entries, not the bytes
    for (int r = 1; r < 2000; ++r)
        order += "; " + std::to_string(r) + ":" + (r == 6 ? " 2=-1" : r == 1999 ? " 1999=2" : "");
    cases.push_back({order, "%%MatrixMarket matrix coordinate real general\n2000 2000 3\n1 1 1\n"
                            "2000 2000 2\n7 3 -1\n"});
    under_each_locale(
        [&]
        {
            for (const auto& [header, file] : cases)
            {
                const std::size_t bar = header.find(" | ");
                CVirtMat::m_bSym = header.substr(0, bar).find(" sym") != std::string::npos;
                for (bool pipe : {false, true})
                    EXPECT_EQ(ReadInto(header.substr(0, header.find(' ')), file, pipe),
                              header.substr(bar + 3))
                        << pipe << " " << file.substr(0, 200);
            }
        });
    CString message;
    CSparseMatrix A;
    EXPECT_EQ(MMRead((kData + "missing.mtx").c_str(), A, &message), MM_OPEN_FAILED);
    EXPECT_EQ(message.str(), "cannot open " + kData + "missing.mtx");
}

// A failed write leaves no file under the target name, nor the partial one beside it; a good one
// replaces an older file. A target that exists and is not a regular file (a directory, a pipe)
// is refused and left what it was; a character device is written in place, not replaced.
TEST_F(MatrixMarket, WritesIntoPlaceOrNotAtAll)
{
    namespace fs = std::filesystem;
    TempDir dir;
    const CVector v = MakeVector({1});
    write_bytes(dir.file("v.mtx"), "old");
    fs::create_directory(dir.file("d.mtx"));
    ASSERT_EQ(::mkfifo(dir.file("p.mtx").c_str(), 0600), 0);
    const bool device = make_null_device(dir.file("null"));
    // clang-format off
    for (const auto& [name, status] : std::vector<std::pair<std::string, int>>{
             {"no/such/dir/v.mtx", MM_OPEN_FAILED}, {"v.mtx", MM_OK}, {"d.mtx", MM_OPEN_FAILED},
             {"p.mtx", MM_OPEN_FAILED}, {"null", device ? MM_OK : -1}})
        // clang-format on
        EXPECT_EQ(status == -1 ? -1 : MMWrite(v, dir.file(name).c_str()), status) << name;
    EXPECT_EQ(read_bytes(dir.file("v.mtx")), "%%MatrixMarket matrix array real general\n1 1\n1\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), device ? 4 : 3);
    EXPECT_TRUE(fs::is_directory(dir.file("d.mtx")) && fs::is_fifo(dir.file("p.mtx")));
    EXPECT_TRUE(!device || is_char_device(dir.file("null")));
}

// scipy and Tarvel read every golden file as the same dense matrix (each value "%.17g"), and
// Tarvel reads what scipy writes of it (through a pipe, in full storage) as that matrix again.
TEST_F(MatrixMarket, InterchangesWithScipy)
{
    std::string python;
    for (const char* p : {"python3", "/usr/bin/python3"})
        if (python.empty() &&
            std::system((std::string(p) + " -c 'import scipy.io' >/dev/null 2>&1").c_str()) == 0)
            python = p;
    if (python.empty()) GTEST_SKIP() << "python3 with scipy not found: interchange not checked";
    TempDir dir;
    std::vector<std::string> goldens;
    std::string args;
    for (const auto& entry : std::filesystem::directory_iterator(kData))
        if (entry.path().extension() == ".mtx")
        {
            goldens.push_back(entry.path().filename().string());
            args += " " + entry.path().string() + " " + dir.file(goldens.back());
        }
    ASSERT_EQ(goldens.size(), 12u);
    const std::string script =
        "import sys, scipy.io, scipy.sparse\n"
        "for mine, theirs in zip(sys.argv[1::2], sys.argv[2::2]):\n"
        "    a = scipy.sparse.coo_matrix(scipy.io.mmread(mine))\n"
        "    print('%dx%d:' % a.shape + ''.join(' %.17g' % x for x in a.toarray().flat))\n"
        "    scipy.io.mmwrite(theirs, a, precision=17)\n";
    ASSERT_EQ(
        std::system((python + " -c \"" + script + "\"" + args + " >" + dir.file("out")).c_str()),
        0);
    std::istringstream out(read_bytes(dir.file("out")));
    CVirtMat::m_bSym = false;
    for (const std::string& golden : goldens)
    {
        std::string dense;
        std::getline(out, dense);
        int rows = 0, cols = 0;
        std::sscanf(dense.c_str(), "%dx%d", &rows, &cols);
        CSparseMatrix mine, back;
        const auto read_back = [&](const char* path) { return MMRead(path, back); };
        ASSERT_EQ(MMRead((kData + golden).c_str(), mine), MM_OK) << golden;
        ASSERT_EQ(ThroughPipe(dir.file(golden), read_back), MM_OK) << golden;
        EXPECT_EQ(DenseText(mine, rows, cols), dense) << golden;
        EXPECT_EQ(DenseText(back, rows, cols), dense) << golden;
    }
}
