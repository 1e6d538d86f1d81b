// The number grammar: what ReadNumber takes from a line, the three substitutions with their
// start index, the scan positions, a string refilled between calls, and the keyword searches
// with their file positions in every line-end form.
#include "io/TextFiles.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cstdlib>
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

// The number depends only on the line and the position, never on what the string held before:
// a string refilled with a line of the same length, or edited in place, and scanned on from a
// column gets its keywords substituted (a per-string memory once gave "6" for the first case).
TEST(NumberScan, IgnoresWhatTheStringHeldBefore)
{
    // (first line, scanned for one number; the second line put in the same string; the
    // position scanned from; the number expected)
    const std::vector<std::tuple<std::string, std::string, int, std::string>> cases = {
        {"  1 2 3", "  4 g 6", 4, "9.81"},
        {"g 1", "G 2", 0, "9.81"},
        {"  1 2 3", "  4 5 g", 5, "9.81"},
        {"x 1 2 3", "x 1 -I2", 4, "0"},
    };
    for (const auto& [first, second, from, expected] : cases)
    {
        SCOPED_TRACE(second);
        CString line(first.c_str());
        CString number;
        int pos = 0;
        CVirtMat::ReadNumber(pos, line, number);
        line = second.c_str();
        pos = from;
        CVirtMat::ReadNumber(pos, line, number);
        EXPECT_EQ(number.str(), expected);
    }
    CString line("g 1");
    CString number;
    int pos = 0;
    CVirtMat::ReadNumber(pos, line, number);  // "9.81 1"
    line.SetAt(0, 'g');                       // "g.81 1": no keyword any more
    pos = 0;
    CVirtMat::ReadNumber(pos, line, number);
    EXPECT_EQ(number.str(), "81");
}

// A caller's reader loop that reuses one string for every line (records of one length, a label
// column skipped) reads what the library's own reader reads from the same file.
TEST(NumberScan, ReaderLoopReusingOneStringReadsEveryLine)
{
    TextFile f(with_line_ends({"x: 1 2 3", "x: 4 g 6", "x: g 5 6", "x: 7 8 g", "x: 0 pi 1"}, "\n"));
    std::vector<double> loop;
    {
        CArchive reader(&f.file(), CArchive::load);
        CString line, number;
        while (reader.ReadString(line))
            for (int pos = 3; CVirtMat::ReadNumber(pos, line, number), !number.IsEmpty();)
                loop.push_back(std::strtod(number.GetString(), nullptr));
        reader.Close();
    }
    EXPECT_EQ(loop, (std::vector<double>{1, 2, 3, 4, 9.81, 6, 9.81, 5, 6, 7, 8, 9.81, 0,
                                         3.141592653589793, 1}));
    f->SeekToBegin();
    CMatrix m;
    m.ReadASCII(&f.file());
    EXPECT_EQ(std::vector<double>(m.m_pData, m.m_pData + m.m_nSize), loop);
}

// A megabyte line of 10^5 numbers and symbols read by a reader, every number in place (the
// readers substitute a line once: a scan that substituted on every number would be quadratic).
TEST(NumberScan, ReadsAMegabyteLine)
{
    std::string text;
    long count = 0;
    for (; text.size() < (1u << 20); ++count)
        text += count % 50 == 0 ? "g " : std::to_string(count % 1000) + ".5 ";
    TextFile f(text);
    CVector v;
    v.ReadASCII(&f.file());
    ASSERT_EQ(v.m_nSize, count);
    for (long k = 0; k < count; ++k)
        ASSERT_EQ(v.m_pData[k], k % 50 == 0 ? 9.81 : double(k % 1000) + 0.5) << k;
}

// =============================================================================================
// Keyword searches
// =============================================================================================

namespace
{
const std::vector<std::string> kLines = {"first", "  K = 5 ! STIFF", "Stiff matrix", "1 2"};
}

// Found lines, and the position after them, in every line-end form: the file stands at the
// beginning of the line after the matching one (LF files used to drift one byte per line read).
TEST(SeekTo, FindsTheKeywordLineIgnoringCaseAndComments)
{
    for (const std::vector<std::string>& ends : kLineEndForms)
    {
        std::vector<std::size_t> line;  // where each line begins
        const std::string all = with_line_ends(kLines, ends, &line);
        SCOPED_TRACE(all);
        // (keyword, comment marker or "" for none, from current, start line and column, found,
        // the line the file stands at after the search)
        const std::vector<std::tuple<std::string, std::string, bool, int, int, bool, int>> cases = {
            {"stiff", "!", false, 0, 5, true, 3},  // the first match is not: the marker cuts it
            {"stiff", "", false, 0, 0, true, 2},   // without a marker it is
            {"STIFF M", "!", true, 0, 0, true, 3},
            {"", "!", false, 0, 3, true, 1},         // an empty keyword: the first line
            {"nothing", "!", true, 1, 0, false, 1},  // not found: back at the start
            {"nothing", "!", false, 1, 0, false, 0},
            {"1 2", "!", true, 2, 0, true, 4},
            {"1 2", "!", true, 1, 3, true, 4},  // from inside a line
        };
        for (const auto& [key, marker, fromCurrent, startLine, column, found, after] : cases)
        {
            SCOPED_TRACE(key);
            TextFile f(all);
            f->Seek(LONGLONG(line[std::size_t(startLine)] + std::size_t(column)), CFile::begin);
            CString comment(marker.c_str());
            EXPECT_EQ(
                SeekTo(key.c_str(), f.file(), marker.empty() ? nullptr : &comment, fromCurrent),
                found);
            EXPECT_EQ(f.position(), line[std::size_t(after)]);
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
        EXPECT_EQ(f.position(), (1u << 20) + 3);  // no line end: the end of the file
    }
}
