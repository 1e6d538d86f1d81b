// Every text format of the library under a comma-decimal locale (setlocale and the global C++
// locale both switched): the same bytes written as under the C locale, and the same values read.
// scripts/test.sh makes a German locale when the system lacks one and sets
// TARVEL_TEST_COMMA_LOCALE, which turns a missing locale from a skip into a failure.
#include "io/TextFiles.h"

#include <clocale>
#include <locale>

using namespace tarvel_test;
using TextLocale = GlobalStateTest;

namespace
{

// A locale whose decimal point is ",", or "" when the system has none.
std::string comma_locale()
{
    const char* wanted = std::getenv("TARVEL_TEST_COMMA_LOCALE");
    for (const char* name : {wanted ? wanted : "", "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (*name && std::setlocale(LC_ALL, name))
        {
            const bool comma = *std::localeconv()->decimal_point == ',';
            std::setlocale(LC_ALL, "C");
            if (comma) return name;
        }
    return "";
}

}  // namespace

// Every text writer and Matrix Market under both locales, and every number of their bytes read
// back (the vector reader takes every number of a file; Matrix Market through its own reader).
TEST_F(TextLocale, CommaLocaleWritesAndReadsAsTheCLocale)
{
    const std::string comma = comma_locale();
    if (comma.empty())
    {
        if (std::getenv("TARVEL_TEST_COMMA_LOCALE")) FAIL() << "the comma locale cannot be set";
        GTEST_SKIP() << "no comma-decimal locale on this system";
    }
    CVirtMat::m_bSym = true;
    CMatrix M = MakeMatrix(2, 3, {0.5, -1.25e-3, 1e20, 1.0 / 3.0, 12345.678, -0.0});
    CVector v = MakeVector({0.5, -1.25e-3, 1e20, 1.0 / 3.0});
    CSystSpMat K = System(3, FromTriplets({{0, 0, 4.5}, {0, 2, 0.1}, {1, 1, -2.5e-3}}));
    CSparseMatrix S = FromTriplets({{0, 1, 0.75}, {2, 0, -1.5e10}});
    CSkylineMatrix Sky;
    int dims[] = {3, 6};
    ASSERT_TRUE(Sky.Allocate(dims, 2));
    long dofs[] = {0, 1, 2};
    double ke[] = {1.5, 0.25, 0, 0.25, 2.5, 0.125, 0, 0.125, 3.5};
    Sky.AddValues(dofs, ke, 3);
    CLongMatrix L;
    L.Allocate(2, 2, true, 7);
    std::string bytes[2], values[2];
    for (int k = 0; k < 2; ++k)  // k = 1: under the comma locale
    {
        std::locale::global(std::locale(k ? comma : "C"));  // the C locale and the C++ one
        bytes[k] = written(
            [&](CFile* f)
            {
                M.WriteASCII(f, "", " ", 14, 6, 0, true, true);
                M.WriteASCII(f, "", " ", 24, 16, 1, false, true);
                M.WriteASCII(f, "", " ", 12, 6, 2, true, false);
                M.WriteASCII(f, "", " ", 1000, 3, 0, false, true);  // printf, not to_chars
                v.WriteASCII(f, "", " ", 20, 9, 1, false, false);
                S.WriteASCII(f, "", " ", 18, 8, 1, true, true);
                K.WriteASCII(f, "", " ", 18, 8, 0, false, false);
                Sky.WriteASCII(f, "", " ", 12, 4, 0, false, false);
                L.WriteASCII(f, "", " ", 12, 3, false, true, true);
            });
        values[k] = read_as('v', bytes[k]);
        TempDir dir;
        CSystSpMat Kback;
        CMatrix Mback;
        EXPECT_TRUE(MMWrite(K, dir.file("k.mtx").c_str()) == MM_OK &&
                    MMWrite(M, dir.file("m.mtx").c_str()) == MM_OK &&
                    MMRead(dir.file("k.mtx").c_str(), Kback) == MM_OK &&
                    MMRead(dir.file("m.mtx").c_str(), Mback) == MM_OK);
        bytes[k] += read_bytes(dir.file("k.mtx")) + read_bytes(dir.file("m.mtx"));
        values[k] += Structure(Kback) + Text(Mback);
    }
    std::locale::global(std::locale::classic());
    EXPECT_EQ(bytes[1], bytes[0]);
    EXPECT_EQ(values[1], values[0]);
    EXPECT_EQ(bytes[0].find(','), std::string::npos);
}
