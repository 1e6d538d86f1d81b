// Text forms of the sparse, system and skyline matrices: the exact bytes of the listing, of the
// dense exponent rows and of the skyline's full matrix (a golden file), the reader's rows,
// additions and accumulation, and a round trip.
#include "io/TextFiles.h"

using namespace tarvel_test;

// The listing (format 0: the 0-based counter as a label, one zero per row not stored) and the
// dense exponent rows (any other format), for a matrix with an empty row, a wide one whose last
// column is 5, a system matrix with a stored empty row, and an empty matrix; then the skyline's
// full matrix with a zero lower triangle and zeros outside the profile ((0, 2) here), an empty
// one (nothing), and an order without a profile (zeros only). The skyline reader does nothing.
TEST(SparseTextWriter, WritesTheGoldenListingAndRows)
{
    CSparseMatrix s = FromTriplets({{0, 0, 1.0}, {0, 2, 2.0}, {2, 1, 3.0}}), empty;
    CSparseMatrix wide = FromTriplets({{0, 3, 1.5}, {1, 5, 2.0}});
    CSystSpMat syst(2);
    syst.Add(1, 1, 4.0);
    CSkylineMatrix k, emptySky, orderOnly;
    int dims[] = {3, 5, 1, 2, 2}, order[] = {2};  // heights 1, 2, 2
    ASSERT_TRUE(k.Allocate(dims, 5) && orderOnly.Allocate(order, 1));
    for (auto [i, j, v] :
         {std::tuple{0, 0, 1.0}, {0, 1, 2.0}, {1, 1, 3.0}, {1, 2, 4.0}, {2, 2, 5.0}})
        k(i, j) = v;
    // (matrix, prefix, suffix, width, precision, format, row numbers, header)
    const std::vector<std::tuple<CVirtMat*, const char*, const char*, int, int, int, bool, bool>>
        cases = {
            {&s, "", "", 10, 2, 1, false, true},
            {&s, "", "", 10, 2, 7, true, true},
            {&s, "", "", 10, 2, 0, true, true},
            {&wide, "<", ">", 3, 1, 1, false, true},
            {&wide, "<", ">", 3, 1, 0, false, true},
            {&syst, "", " ", 4, 1, 0, false, true},
            {&syst, "", " ", 8, 1, 1, false, true},
            {&empty, "", "", 8, 1, 0, true, true},
            {&empty, "", "", 8, 1, 1, true, true},
            {&k, "", "", 10, 2, 0, true, true},
            {&emptySky, "", "", 10, 2, 0, true, true},
            {&orderOnly, "[", "]", 2, 0, 1, false, false},
        };
    const auto write = [&](CFile* f)
    {
        for (const auto& [m, prefix, suffix, width, precision, format, rows, header] : cases)
            m->WriteASCII(f, prefix, suffix, width, precision, format, rows, header);
    };
    under_each_locale([&] { expect_golden("text/sparse.txt", written(write)); });
    TextFile in("1 2\r\n3 4\r\n");  // the skyline reader leaves the matrix and the file alone
    in.file().Seek(2, CFile::begin);
    k.ReadASCII(&in.file());
    EXPECT_TRUE(in.position() == 2u && k(0, 0) == 1.0 && k(0, 1) == 2.0 && k(2, 2) == 5.0);
}

// Line i is row i. Every number goes to the virtual Add, zeros included; the plain matrix,
// which takes its own shortcut, ends with the same entries: zeros add nothing, what is read adds
// to what is stored, and a second read adds everything again. The system matrix's Add also
// skips indices outside 0..n-1.
TEST(SparseTextReader, AddsEveryNumberOfEveryLine)
{
    for (const std::string e : {"\r\n", "\n"})
    {
        const std::string text = "1 0 2" + e + e + "0 3 -1e-3 7" + e + "g" + e;
        TextFile f(text);
        RecordingSparse recorded;
        CSparseMatrix plain;
        CSystSpMat k(3);
        recorded.CSparseMatrix::Add(2, 1, 10.0);
        plain.Add(2, 1, 10.0);
        std::string read;  // recorded, then plain read once and twice, then the system
        for (CSparseMatrix* m : std::vector<CSparseMatrix*>{&recorded, &plain, &plain, &k})
        {
            f.file().SeekToBegin();
            m->ReadASCII(&f.file());
            read += Structure(*m) + " @" + std::to_string(f.position()) + "\n";
        }
        EXPECT_EQ(recorded.calls,
                  "0,0=1 0,1=0 0,2=2 2,0=0 2,1=3 2,2=-0.001 2,3=7 3,0=9.8100000000000005");
        const std::string end = " @" + std::to_string(text.size()) + "\n";
        const std::string once = "0: 0=1 2=2; 2: 1=13 2=-0.001 3=7; 3: 0=9.8100000000000005" + end;
        EXPECT_EQ(read, once + once + "0: 0=2 2=4; 2: 1=16 2=-0.002 3=14; 3: 0=19.620000000000001" +
                            end + "0: 0=1 2=2; 1:; 2: 1=3 2=-0.001" + end);
    }
}

// Exponent rows with 17 significant digits and a separating suffix read back to the same cells.
TEST(SparseTextRoundTrip, ReadsBackTheExponentRows)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    CSparseMatrix s, back;
    for (int k = 0; k < 200; ++k)
        s.Add(int(rng() % 30), int(rng() % 25), value(rng) * std::pow(10.0, int(rng() % 20) - 10));
    TextFile f(written([&](CFile* out) { s.WriteASCII(out, "", " ", 24, 16, 1, false, false); }));
    back.ReadASCII(&f.file());
    EXPECT_EQ(Structure(back), Structure(s));
}
