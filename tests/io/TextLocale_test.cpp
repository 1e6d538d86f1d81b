// Every text format of the library under a comma-decimal locale (setlocale and the global C++
// locale both switched): the same bytes written as under the C locale, and the same values read.
// scripts/test.sh makes a German locale when the system lacks one and sets
// TARVEL_TEST_COMMA_LOCALE, which turns a missing locale from a skip into a failure.
#include "TextFiles.h"
#include "support/Dense.h"
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/exchange/MatrixMarket.h>

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <locale>
#include <string>
#include <tuple>
#include <typeinfo>
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

// The text of what a fresh object of A's class reads from the file (the readers share one
// number conversion): dense, sparse or Matrix Market.
std::string read_back(const CVirtMat& A, const std::string& name, bool market)
{
    CFile f(name.c_str(), CFile::modeRead);
    CMatrix M;
    CSparseMatrix S;
    CSystSpMat K;
    if (dynamic_cast<const CSystSpMat*>(&A))
        return std::to_string(market ? MMRead(name.c_str(), K) : (K.ReadASCII(&f), 0)) +
               Structure(K);
    if (dynamic_cast<const CSparseMatrix*>(&A))
        return std::to_string(market ? MMRead(name.c_str(), S) : (S.ReadASCII(&f), 0)) +
               Structure(S);
    return std::to_string(market ? MMRead(name.c_str(), M) : (M.ReadASCII(&f), 0)) + Text(M);
}

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
    // (object, width, precision, format, row numbers and header, read back); width 0: Matrix
    // Market; the width 1000 goes through printf rather than to_chars.
    const std::vector<std::tuple<CVirtMat*, int, int, int, bool, bool>> formats = {
        {&M, 14, 6, 0, true, true},    {&M, 24, 16, 1, false, true},   {&M, 12, 6, 2, true, false},
        {&M, 1000, 3, 0, false, true}, {&v, 20, 9, 1, false, false},   {&S, 18, 8, 1, true, true},
        {&K, 18, 8, 0, false, false},  {&Sky, 12, 4, 0, false, false}, {&K, 0, 0, 0, false, true},
        {&M, 0, 0, 0, false, true},
    };
    for (const auto& [A, width, precision, format, numbered, readBack] : formats)
    {
        SCOPED_TRACE(testing::Message()
                     << typeid(*A).name() << " width " << width << " form " << format);
        std::string bytes[2], values[2];
        for (int k = 0; k < 2; ++k)  // k = 1: under the comma locale
        {
            TempDir dir;
            const std::string name = dir.file("f.txt");
            const ProcessLocale locale(k ? comma : "C");
            if (width == 0)
                dynamic_cast<CVector*>(A) ? MMWrite(*dynamic_cast<CVector*>(A), name.c_str())
                                          : MMWrite(*dynamic_cast<CSparseMatrix*>(A), name.c_str());
            else
            {
                CFile f(name.c_str(), CFile::modeCreate | CFile::modeWrite);
                A->WriteASCII(&f, "", " ", width, precision, format, numbered, numbered);
            }
            bytes[k] = read_bytes(name);
            if (readBack) values[k] = read_back(*A, name, width == 0);
        }
        EXPECT_EQ(bytes[1], bytes[0]);
        EXPECT_EQ(values[1], values[0]);
        EXPECT_EQ(bytes[0].find(','), std::string::npos);
    }
    // The integer tables' writer of doubles.
    CLongMatrix L;
    L.Allocate(2, 2, true, 7);
    std::string bytes[2];
    for (int k = 0; k < 2; ++k)
    {
        const ProcessLocale locale(k ? comma : "C");
        bytes[k] = written([&](CFile* f) { L.WriteASCII(f, "", " ", 12, 3, false, true, true); });
    }
    EXPECT_EQ(bytes[1], bytes[0]);
}
