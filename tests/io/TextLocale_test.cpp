// Every text format of the library under a comma-decimal locale (setlocale and the global C++
// locale both switched): the same bytes written as under the C locale, and the same values read.
// scripts/test.sh makes a German locale when the system lacks one and sets
// TARVEL_TEST_COMMA_LOCALE, which turns a missing locale from a skip into a failure.
#include "TextFiles.h"
#include "support/Dense.h"
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/io/MatrixMarket.h>

#include <clocale>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <locale>
#include <string>
#include <tuple>
#include <vector>

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

// The process in the named locale (C and C++) while it lives; then the C locale again.
class ProcessLocale
{
public:
    explicit ProcessLocale(const std::string& name) { std::locale::global(std::locale(name)); }
    ~ProcessLocale() { std::locale::global(std::locale::classic()); }
    ProcessLocale(const ProcessLocale&) = delete;
    ProcessLocale& operator=(const ProcessLocale&) = delete;
};

}  // namespace

TEST_F(TextLocale, CommaLocaleWritesAndReadsAsTheCLocale)
{
    const std::string comma = comma_locale();
    if (comma.empty())
    {
        if (std::getenv("TARVEL_TEST_COMMA_LOCALE")) FAIL() << "the comma locale cannot be set";
        GTEST_SKIP() << "no comma-decimal locale on this system";
    }
    CVirtMat::m_bSym = true;
    const CMatrix M = MakeMatrix(2, 3, {0.5, -1.25e-3, 1e20, 1.0 / 3.0, 12345.678, -0.0});
    const CVector v = MakeVector({0.5, -1.25e-3, 1e20, 1.0 / 3.0});
    CSystSpMat K(3);
    for (auto [i, j, x] : {std::tuple{0, 0, 4.5}, {0, 2, 0.1}, {1, 1, -2.5e-3}, {2, 2, 1e-7}})
        K.m_pRowArray[i].Add(j, x);
    CSparseMatrix S = FromTriplets({{0, 1, 0.75}, {2, 0, -1.5e10}});
    CSkylineMatrix Sky;
    int dims[] = {3, 6};
    ASSERT_TRUE(Sky.Allocate(dims, 2));
    long dofs[] = {0, 1, 2};
    double ke[] = {1.5, 0.25, 0, 0.25, 2.5, 0.125, 0, 0.125, 3.5};
    Sky.AddValues(dofs, ke, 3);
    CLongMatrix L;
    L.Allocate(2, 2, true, 7);

    // Each writer, and a reader of its form giving the exact text of what it read (the readers
    // share one number conversion). The width 1000 case goes through printf, not to_chars.
    using Write = std::function<void(CFile*, const std::string&)>;
    using Read = std::function<std::string(CFile*, const std::string&)>;
    const auto dense = [](CFile* f, const std::string&) -> std::string
    {
        CMatrix back;
        back.ReadASCII(f);
        return Text(back);
    };
    const auto sparse = [](CFile* f, const std::string&) -> std::string
    {
        CSparseMatrix back;
        back.ReadASCII(f);
        return Structure(back);
    };
    const std::vector<std::tuple<const char*, Write, Read>> formats = {
        {"CMatrix fixed",
         [&](CFile* f, const std::string&)
         { const_cast<CMatrix&>(M).WriteASCII(f, "", " ", 14, 6, 0, true, true); },
         dense},
        {"CMatrix exponent",
         [&](CFile* f, const std::string&)
         { const_cast<CMatrix&>(M).WriteASCII(f, "", " ", 24, 16, 1, false, false); },
         dense},
        {"CMatrix shortest",
         [&](CFile* f, const std::string&)
         { const_cast<CMatrix&>(M).WriteASCII(f, "<", ">", 12, 6, 2, false, true); },
         nullptr},
        {"CMatrix printf width",
         [&](CFile* f, const std::string&)
         { const_cast<CMatrix&>(M).WriteASCII(f, "", "", 1000, 3, 0, false, false); },
         dense},
        {"CVector",
         [&](CFile* f, const std::string&)
         { const_cast<CVector&>(v).WriteASCII(f, "", "", 20, 9, 1, false, false); },
         [](CFile* f, const std::string&)
         {
             CVector back;
             back.ReadASCII(f);
             return Text(back);
         }},
        {"CSparseMatrix",
         [&](CFile* f, const std::string&) { S.WriteASCII(f, "", " ", 18, 8, 1, true, false); },
         sparse},
        {"CSystSpMat listing",
         [&](CFile* f, const std::string&) { K.WriteASCII(f, "", " ", 18, 8, 0, false, false); },
         nullptr},
        {"CSkylineMatrix",
         [&](CFile* f, const std::string&) { Sky.WriteASCII(f, "", " ", 12, 4, 0, false, false); },
         nullptr},
        {"CLongMatrix",
         [&](CFile* f, const std::string&) { L.WriteASCII(f, "", " ", 12, 3, false, true, true); },
         nullptr},
        {"Matrix Market sparse", [&](CFile*, const std::string& name) { MMWrite(K, name.c_str()); },
         [](CFile*, const std::string& name) -> std::string
         {
             CSystSpMat back;
             return std::to_string(MMRead(name.c_str(), back)) + Structure(back);
         }},
        {"Matrix Market dense", [&](CFile*, const std::string& name) { MMWrite(M, name.c_str()); },
         [](CFile*, const std::string& name) -> std::string
         {
             CMatrix back;
             return std::to_string(MMRead(name.c_str(), back)) + Text(back);
         }},
    };
    for (const auto& [what, write, read] : formats)
    {
        SCOPED_TRACE(what);
        std::string bytes[2], values[2];
        for (int k = 0; k < 2; ++k)  // k = 1: under the comma locale
        {
            TempDir dir;
            const std::string name = dir.file("f.txt");
            {
                const ProcessLocale locale(k ? comma : "C");
                CFile f(name.c_str(), CFile::modeCreate | CFile::modeWrite);
                write(&f, name);
            }
            bytes[k] = read_bytes(name);
            if (!read) continue;
            CFile f(name.c_str(), CFile::modeRead);
            const ProcessLocale locale(k ? comma : "C");
            values[k] = read(&f, name);
        }
        EXPECT_EQ(bytes[1], bytes[0]);
        EXPECT_EQ(values[1], values[0]);
        EXPECT_EQ(bytes[0].find(','), std::string::npos);
    }
}
