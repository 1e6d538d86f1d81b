// The number grammar: what ReadNumber takes from a line, the three substitutions with their
// start index, the scan positions, the remembered substitution against substituting on every
// call, and the keyword searches with their file positions on CRLF and LF files.
#include "io/TextFiles.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace tarvel_test;
using Texts = std::vector<std::string>;

namespace
{
const std::string kPi = "3.141592653589793";
}

TEST(NumberScan, TakesTheNumberTextsOfALine)
{
    const std::vector<std::tuple<std::string, Texts>> cases = {
        {"1,5;2,5", {"1.5", "2.5"}},
        {"x = 3, y = -4", {"3.", "-4"}},
        {"pi", {kPi}},
        {"-pi", {"-" + kPi}},
        {"2pi", {"2"}},
        {"pi/2", {"2"}},
        {"I1 -I2 I3", {"1", "0", "0", "0", "-1", "0", "0", "0", "1"}},
        {"-I1", {"-1", "0", "0"}},
        {"I3 I1", {"0", "0", "1", "1", "0", "0"}},
        {"Pi PI", {kPi, kPi}},
        {"pI", {}},
        {"g", {"9.81"}},
        {"G", {"9.81"}},
        {"-g", {"-9.81"}},
        {"kg", {}},
        {"G1 I4", {"1", "4"}},
        {"I1I2", {"1", "2"}},
        {"1e-3", {"1e-3"}},
        {"e5", {"5"}},
        {".5", {"5"}},
        {"+7", {"+7"}},
        {"5 -", {"5"}},
        {"- 5", {"5"}},
        {"-", {}},
        {"", {}},
        {"+.5", {"+0.5"}},
        {"-,25", {"-0.25"}},
        {"x -.", {"-0."}},
        {"1-2 1.2.3 3e", {"1-2", "1.2.3", "3e"}},
        {"1,5e+3", {"1.5e+3"}},
        {"\tpi\t", {kPi}},
        {"g\t-I3", {"9.81", "0", "0", "-1"}},
        {"x-g", {"-9.81"}},
        {"pi-g", {kPi + "-9.81"}},
        {"I1-I2", {"1", "0", "00", "-1", "0"}},
        {"i1 i2 -i3", {"1", "0", "0", "0", "1", "0", "0", "0", "-1"}},
        {"a\xff\x80"
         "7\x01z",
         {"7"}},
    };
    for (const auto& [line, expected] : cases)
    {
        SCOPED_TRACE(line);
        EXPECT_EQ(scan(line), expected);
    }
}

TEST(NumberScan, LeavesThePositionAfterEachNumber)
{
    // (line, start position, number text, position after, line after)
    const std::vector<std::tuple<std::string, int, std::string, int, std::string>> cases =
        {
            {"  12 ab", 0, "12", 4, "  12 ab"},
            {"  12 ab", 4, "", 7, "  12 ab"},
            {"", 0, "", 0, ""},
            {"abc", 0, "", 3, "abc"},
            {"7 8", -5, "7", 1, "7 8"},  // a negative position counts from 0
            {"7 8", 10, "", 3, "7 8"},   // beyond the line: nothing, at its end
            {"g 1", 0, "9.81", 4, "9.81 1"},
            {"g g", 2, "9.81", 6, "g 9.81"},  // the text before the position is never substituted
            {"5-I2", 2, "-1", 5, "50 -1 0"},  // the swallowed "-" may stand before the position
        };
    for (const auto& [text, start, number, after, lineAfter] : cases)
    {
        SCOPED_TRACE(text + " @" + std::to_string(start));
        CString line(text.c_str());
        CString got("stale");
        int pos = start;
        CVirtMat::ReadNumber(pos, line, got);
        EXPECT_EQ(got.str(), number);
        EXPECT_EQ(pos, after);
        EXPECT_EQ(line.str(), lineAfter);
    }
}

TEST(Substitution, ReplacesStandAloneKeywordsFromTheStartIndex)
{
    using Replace = void (*)(CString&, int);
    const Replace pi = &CVirtMat::ReplacePI, units = &CVirtMat::ReplaceIs,
                  gravity = &CVirtMat::ReplaceGravity;
    // (function, line, start index, line after)
    const std::vector<std::tuple<Replace, std::string, int, std::string>> cases = {
        {pi, "Pi PI pi", 0, kPi + " " + kPi + " " + kPi},
        {pi, "pi pi", 1, "pi " + kPi},
        {pi, "pi pi", -4, kPi + " " + kPi},
        {pi, "pi", 2, "pi"},
        {pi, "", 0, ""},
        {pi, "spin pip", 0, "spin pip"},
        {units, "i1\ti3", 0, "1 0 0\t0 0 1"},
        {units, "I2 -I2", 3, "I2 0 -1 0"},
        {units, "-I2", 1, "0 -1 0"},
        {units, "I1 -I1", 0, "1 0 0 -1 0 0"},
        {units, "I1 I2-x", 0, "1 0 0 0 1 0-x"},  // "-" is a delimiter after it too
        {gravity, "g-G", 0, "9.81-9.81"},
        {gravity, "g", 5, "g"},
        {gravity, "kg gram g", 0, "kg gram 9.81"},
    };
    for (const auto& [replace, text, start, expected] : cases)
    {
        SCOPED_TRACE(text + " @" + std::to_string(start));
        CString line(text.c_str());
        replace(line, start);
        EXPECT_EQ(line.str(), expected);
    }
}

// ReadNumber skips the substitutions while a scan goes on along a line it has substituted.
// Handing it a fresh copy of the line on every call makes it substitute every time: both must
// give the same number texts, positions and lines, whatever the line.
TEST(NumberScan, RememberedSubstitutionEqualsSubstitutingOnEveryCall)
{
    const std::vector<std::string> pieces = {"pi", "PI", "Pi", "g",  "G", "I1",  "I2",
                                             "i3", "-",  " ",  "\t", "1", "2.5", ",",
                                             ".",  "e",  "x",  "+",  "I", "p",   "kg"};
    std::mt19937 rng(12);
    for (int trial = 0; trial < 400; ++trial)
    {
        std::string text;
        const int length = int(rng() % 20);
        for (int k = 0; k < length; ++k) text += pieces[rng() % pieces.size()];
        SCOPED_TRACE(text);
        CString kept(text.c_str());
        CString fresh(text.c_str());
        int posKept = 0, posFresh = 0;
        for (int step = 0; step < 200; ++step)
        {
            CString a, b;
            CVirtMat::ReadNumber(posKept, kept, a);
            CString copy(fresh.str() + "");  // another string: nothing remembered about it
            CVirtMat::ReadNumber(posFresh, copy, b);
            fresh = copy;
            ASSERT_EQ(a.str(), b.str());
            ASSERT_EQ(posKept, posFresh);
            ASSERT_EQ(kept.str(), fresh.str());
            if (a.IsEmpty()) break;
        }
    }
}

// A line replaced in the same string (same length, same short-string buffer) and scanned from
// 0 again, or edited in place and rescanned from 0, is substituted anew.
TEST(NumberScan, SubstitutesANewLineInTheSameString)
{
    CString line("g 1");
    int pos = 0;
    CString number;
    while (CVirtMat::ReadNumber(pos, line, number), !number.IsEmpty())
    {
    }
    line = "G 2";
    EXPECT_EQ(scan(line.str()), (Texts{"9.81", "2"}));
    pos = 0;
    CVirtMat::ReadNumber(pos, line, number);
    EXPECT_EQ(number.str(), "9.81");
    line.SetAt(0, 'g');  // "g.81 2": no keyword any more
    pos = 0;
    CVirtMat::ReadNumber(pos, line, number);
    EXPECT_EQ(number.str(), "81");
}

// A megabyte line of 10^5 numbers and symbols scans to the end with every number in place.
TEST(NumberScan, ScansAMegabyteLine)
{
    std::string text;
    for (int k = 0; text.size() < (1u << 20); ++k)
        text += k % 50 == 0 ? "g " : std::to_string(k % 1000) + ".5 ";
    CString line(text.c_str());
    int pos = 0;
    long count = 0, symbols = 0;
    CString number;
    for (;;)
    {
        CVirtMat::ReadNumber(pos, line, number);
        if (number.IsEmpty()) break;
        ++count;
        if (number == "9.81") ++symbols;
    }
    EXPECT_GE(count, 100000);
    EXPECT_EQ(symbols, (count + 49) / 50);
    EXPECT_EQ(pos, line.GetLength());
}

// =============================================================================================
// Keyword searches
// =============================================================================================

namespace
{
const std::vector<std::string> kLines = {"first", "  K = 5 ! STIFF", "Stiff matrix", "1 2"};
}

// Found lines, and the position after them, for CRLF and LF files: two bytes count for every
// line end, so on LF files the position runs one byte further per line read.
TEST(SeekTo, FindsTheKeywordLineIgnoringCaseAndComments)
{
    for (const std::string end : {"\r\n", "\n"})
    {
        SCOPED_TRACE(end.size());
        const std::string all = with_line_ends(kLines, end);
        // (keyword, comment marker or "" for none, from current, start, found, position)
        const std::vector<std::tuple<std::string, std::string, bool, int, bool, ULONGLONG>> cases =
            {
                {"stiff", "!", false, 5, true, 38},  // the first line is not a match: comment
                {"stiff", "", false, 0, true, 24},   // without a marker it is
                {"STIFF M", "!", true, 0, true, 38},
                {"", "!", false, 3, true, 7},         // an empty keyword: the first line
                {"nothing", "!", true, 7, false, 7},  // not found: back at the start
                {"nothing", "!", false, 7, false, 0},
                {"1 2", "!", true, 24, true, 43},
            };
        for (const auto& [key, marker, fromCurrent, start, found, position] : cases)
        {
            SCOPED_TRACE(key);
            TextFile f(all);
            f->Seek(start, CFile::begin);
            CString comment(marker.c_str());
            EXPECT_EQ(
                SeekTo(key.c_str(), f.file(), marker.empty() ? nullptr : &comment, fromCurrent),
                found);
            // the byte count is the same number for both files; LF files are shorter
            EXPECT_EQ(f.position(), found ? std::min<ULONGLONG>(position, all.size()) : position);
            if (end.size() == 2 && found && position == 38)
            {
                EXPECT_EQ(f.rest_of_line(), "1 2");
            }
        }
    }
}

TEST(SeekTo, UpperCasesTheCallersStringsAndGivesTheMatchedLine)
{
    const std::string all = with_line_ends(kLines, "\r\n");
    {
        TextFile f(all);
        CString key("k =");
        CString comment("! stiff");  // a marker with letters, upper-cased in place
        EXPECT_TRUE(SeekTo_ReplLine(key, f.file(), &comment, false));
        EXPECT_EQ(key.str(), "K = 5 ");  // trimmed, upper-cased, cut before the marker
        EXPECT_EQ(comment.str(), "! STIFF");
        EXPECT_EQ(f.position(), 24u);
        EXPECT_EQ(f.rest_of_line(), "Stiff matrix");
    }
    {
        TextFile f(all);
        CString key("nope");
        EXPECT_FALSE(SeekTo_ReplLine(key, f.file(), nullptr, false));
        EXPECT_EQ(key.str(), "NOPE");
        EXPECT_EQ(f.position(), 0u);
    }
    {
        TextFile f(all);
        CString comment("x");
        CString key("");  // a non-null empty marker cuts every line to nothing
        EXPECT_FALSE(SeekTo("1", f.file(), &(comment = ""), false));
        EXPECT_TRUE(SeekTo_ReplLine(key, f.file(), &comment, false));
        EXPECT_EQ(key.str(), "");
        EXPECT_EQ(f.position(), 7u);
    }
}

// Nothing is read when the search starts at the end: not even the strings are upper-cased.
TEST(SeekTo, ReturnsFalseAtTheEndAndOnEmptyFiles)
{
    for (const std::string contents : {"", "abc\r\n"})
    {
        TextFile f(contents);
        f->SeekToEnd();
        CString key("abc"), comment("c");
        EXPECT_FALSE(SeekTo_ReplLine(key, f.file(), &comment, true));
        EXPECT_EQ(key.str(), "abc");
        EXPECT_EQ(comment.str(), "c");
        EXPECT_EQ(f.position(), contents.size());
    }
}

// A file without any line end, binary noise, NUL bytes and a lone carriage return: the search
// ends, and where it ends follows from the line reader's rule.
TEST(SeekTo, CopesWithUnusualLines)
{
    std::mt19937 rng(7);
    std::string noise(1 << 16, '\0');
    for (char& c : noise) c = char(rng());
    noise.erase(std::remove(noise.begin(), noise.end(), 'Z'), noise.end());
    noise.erase(std::remove(noise.begin(), noise.end(), 'z'), noise.end());
    {
        TextFile f(noise);
        EXPECT_FALSE(SeekTo("ZZ", f.file(), nullptr, false));
        EXPECT_EQ(f.position(), 0u);
    }
    {
        TextFile f(std::string("a\0b key\rXnext\r\nkey2\r\n", 21));
        EXPECT_TRUE(SeekTo("KEY", f.file(), nullptr, false));  // the line "a\0b key"
        EXPECT_EQ(f.position(), 9u);  // 7 characters and 2: the "X" went with the "\r"
        EXPECT_EQ(f.rest_of_line(), "next");
    }
    {
        TextFile f(std::string(1 << 20, 'a') + "key");  // one megabyte line, no line end
        EXPECT_TRUE(SeekTo("KEY", f.file(), nullptr, false));
        EXPECT_EQ(f.position(), (1u << 20) + 3);  // capped at the end of the file
    }
}
