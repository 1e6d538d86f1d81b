// The number grammar: what ReadNumber takes from a line, the three substitutions with their
// start index, the scan positions, a string refilled between calls, and the keyword searches
// with their file positions in every line-end form.
#include "io/TextFiles.h"

using namespace tarvel_test;

namespace
{

// The text with each "P" replaced by pi's text as the substitution writes it.
std::string with_pi(std::string text)
{
    for (std::size_t at; (at = text.find('P')) != std::string::npos;)
        text.replace(at, 1, "3.141592653589793");
    return text;
}

}  // namespace

// The number texts of a line, joined by "|" ("P" stands for pi's text): decimal commas, signs,
// exponents, the symbols pi, g and I1..I3 (stand-alone only, a "-" before I2 and I3 swallowed
// into the negative form) in any case, texts that are not numbers (taken as they stand: "1-2"),
// and binary bytes.
// ReadNumber from a position gives the number text and the position after it; the three
// substitutions rewrite the stand-alone keywords at or after their start index. Neither touches
// the text before the position (but for a "-" swallowed by I2 or I3); a negative position counts
// from 0, one beyond the line stands at its end; "-" is a delimiter after a keyword too.
TEST(NumberScan, NumberTextsOfALineAndFromAPosition)
{
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> texts = {
        {"1,5;2,5", "1.5|2.5"}, {"x = 3, y = -4", "3.|-4"}, {"pi", "P"}, {"-pi", "-P"},
        {"2pi", "2"}, {"pi/2", "2"}, {"I1 -I2 I3", "1|0|0|0|-1|0|0|0|1"}, {"-I1", "-1|0|0"},
        {"I3 I1", "0|0|1|1|0|0"}, {"Pi PI", "P|P"}, {"pI", ""}, {"g", "9.81"}, {"G", "9.81"},
        {"-g", "-9.81"}, {"kg", ""}, {"G1 I4", "1|4"}, {"I1I2", "1|2"}, {"1e-3", "1e-3"},
        {"e5", "5"}, {".5", "5"}, {"+7", "+7"}, {"5 -", "5"}, {"- 5", "5"}, {"-", ""}, {"", ""},
        {"+.5", "+0.5"}, {"-,25", "-0.25"}, {"x -.", "-0."}, {"1-2 1.2.3 3e", "1-2|1.2.3|3e"},
        {"1,5e+3", "1.5e+3"}, {"1E+3 2e-3", "1E+3|2e-3"}, {"\tpi\t", "P"},
        {"g\t-I3", "9.81|0|0|-1"}, {"x-g", "-9.81"}, {"pi-g", "P-9.81"}, {"I1-I2", "1|0|00|-1|0"},
        {"i1 i2 -i3", "1|0|0|0|1|0|0|0|-1"}, {"a\377\2007\1z", "7"},
    };
    // clang-format on
    for (const auto& [line, expected] : texts) EXPECT_EQ(scan(line), with_pi(expected)) << line;

    using Step = std::function<std::string(CString&, int)>;  // a text of what it gave, or ""
    const Step read = [](CString& line, int pos)
    {
        CString number("stale");
        CVirtMat::ReadNumber(pos, line, number);
        return number.str() + " @" + std::to_string(pos) + " ";
    };
    const auto substitution = [](void (*replace)(CString&, int))
    { return Step([replace](CString& line, int start) { return replace(line, start), ""; }); };
    const Step pi = substitution(&CVirtMat::ReplacePI), units = substitution(&CVirtMat::ReplaceIs),
               gravity = substitution(&CVirtMat::ReplaceGravity);
    // The number depends only on the line and the position, never on what the string held
    // before: a string that held another line, scanned, then refilled with the line (or, for "",
    // edited in place from "9.81 1" to "g.81 1"); a per-string memory once gave "6" for "  4 g 6".
    const auto refilled = [read](const std::string& first)
    {
        return Step(
            [=](CString& line, int pos)
            {
                CString again = line, number;
                int start = 0;
                line = first.c_str();
                CVirtMat::ReadNumber(start, line, number);
                again.IsEmpty() ? void(line.SetAt(0, 'g')) : void(line = again);
                return read(line, pos);
            });
    };
    // (step, line, position, what it gave and the line afterwards)
    // clang-format off
    const std::vector<std::tuple<Step, std::string, int, std::string>> cases = {
        {read, "  12 ab", 0, "12 @4   12 ab"},   {read, "  12 ab", 4, " @7   12 ab"},
        {read, "", 0, " @0 "},                   {read, "abc", 0, " @3 abc"},
        {read, "7 8", -5, "7 @1 7 8"},           {read, "7 8", 10, " @3 7 8"},
        {read, "g 1", 0, "9.81 @4 9.81 1"},      {read, "g g", 2, "9.81 @6 g 9.81"},
        {read, "5-I2", 2, "-1 @5 50 -1 0"},      {pi, "Pi PI pi", 0, "P P P"},
        {pi, "pi pi", 1, "pi P"},                {pi, "pi pi", -4, "P P"},
        {pi, "pi", 2, "pi"},                     {pi, "", 0, ""},
        {pi, "spin pip", 0, "spin pip"},         {units, "i1\ti3", 0, "1 0 0\t0 0 1"},
        {units, "I2 -I2", 3, "I2 0 -1 0"},       {units, "-I2", 1, "0 -1 0"},
        {units, "I1 -I1", 0, "1 0 0 -1 0 0"},    {units, "I1 I2-x", 0, "1 0 0 0 1 0-x"},
        {gravity, "g-G", 0, "9.81-9.81"},        {gravity, "g", 5, "g"},
        {gravity, "kg gram g", 0, "kg gram 9.81"},
        {refilled("  1 2 3"), "  4 g 6", 4, "9.81 @8   4 9.81 6"},
        {refilled("g 1"), "G 2", 0, "9.81 @4 9.81 2"}, {refilled("g 1"), "", 0, "81 @4 g.81 1"},
        {refilled("  1 2 3"), "  4 5 g", 5, "9.81 @10   4 5 9.81"},
        {refilled("x 1 2 3"), "x 1 -I2", 4, "0 @5 x 1 0 -1 0"},
    };
    // clang-format on
    for (const auto& [step, text, start, expected] : cases)
    {
        CString line(text.c_str());
        const std::string gave = step(line, start);
        EXPECT_EQ(gave + line.str(), with_pi(expected)) << text << " from " << start;
    }
}

// =============================================================================================
// Keyword searches
// =============================================================================================

// Found lines, and the position after them, in every line-end form: the file stands at the
// beginning of the line after the matching one (LF files used to drift one byte per line read).
// SeekTo_ReplLine upper-cases the caller's keyword and marker and gives back the matched line,
// trimmed and cut before the marker; a non-null empty marker cuts every line to nothing. At the
// end of the file nothing is read: not even the strings are upper-cased. Binary noise, a NUL
// byte, a lone "\r" (which ends its line together with the character after it) and a megabyte
// without a line end are searched to their end.
TEST(SeekTo, KeywordLinesPositionsAndTheCallersStrings)
{
    // (keyword, comment marker or "" for none, from current, start line and column, found, the
    // line the file stands at after the search): the first match is none when the marker cuts
    // it, one without a marker; an empty keyword matches the first line; a search that finds
    // nothing goes back to where it started; a search may start inside a line
    // clang-format off
    const std::vector<std::tuple<std::string, std::string, bool, int, int, bool, int>> searches = {
        {"stiff", "!", false, 0, 5, true, 3},   {"stiff", "", false, 0, 0, true, 2},
        {"STIFF M", "!", true, 0, 0, true, 3},  {"", "!", false, 0, 3, true, 1},
        {"nothing", "!", true, 1, 0, false, 1}, {"nothing", "!", false, 1, 0, false, 0},
        {"1 2", "!", true, 2, 0, true, 4},      {"1 2", "!", true, 1, 3, true, 4},
    };
    // clang-format on
    for (const std::vector<std::string>& ends : kLineEndForms)
        for (const auto& [key, marker, fromCurrent, startLine, column, found, after] : searches)
        {
            std::vector<std::size_t> line;  // where each line begins
            TextFile f(with_line_ends("first|  K = 5 ! STIFF|Stiff matrix|1 2", ends, &line));
            f.file().Seek(LONGLONG(line[std::size_t(startLine)] + std::size_t(column)),
                          CFile::begin);
            CString comment(marker.c_str());
            const bool got =
                SeekTo(key.c_str(), f.file(), marker.empty() ? nullptr : &comment, fromCurrent);
            EXPECT_EQ(got, found) << key << " in " << f.bytes();
            EXPECT_EQ(f.position(), line[std::size_t(after)]) << key << " in " << f.bytes();
        }

    const std::string all = "first\r\n  K = 5 ! STIFF\r\nStiff matrix\r\n1 2\r\n";
    std::mt19937 rng(7);
    std::string noise(1 << 16, '\0');
    for (char& c : noise) c = char(rng());
    noise.erase(
        std::remove_if(noise.begin(), noise.end(), [](char c) { return (c | 0x20) == 'z'; }),
        noise.end());
    const std::string megabyte(1 << 20, 'a'), nul("a\0b zzz\rXnext\r\nzz2\r\n", 20);
    // (bytes, from the end, keyword, marker, found, keyword and marker after, position after)
    // clang-format off
    const std::vector<std::tuple<std::string, bool, const char*, const char*, bool, std::string,
                                 ULONGLONG>> cases = {
        {all, false, "k =", "! stiff", true, "K = 5 |! STIFF", 24},
        {all, false, "nope", nullptr, false, "NOPE|", 0},
        {all, false, "", "", true, "|", 7},
        {all, false, "1", "", false, "1|", 0},
        {"", true, "abc", "c", false, "abc|c", 0},
        {"abc\r\n", true, "abc", "c", false, "abc|c", 5},
        {noise, false, "zz", nullptr, false, "ZZ|", 0},
        {nul, false, "zz", nullptr, true, std::string("A\0B ZZZ|", 8), 9},
        {megabyte + "zz", false, "zz", nullptr, true, std::string(1 << 20, 'A') + "ZZ|",
         (1u << 20) + 2},
    };
    // clang-format on
    for (const auto& [bytes, atEnd, key, marker, found, after, position] : cases)
    {
        TextFile f(bytes);
        if (atEnd) f.file().SeekToEnd();
        CString k(key), comment(marker ? marker : "");
        EXPECT_EQ(SeekTo_ReplLine(k, f.file(), marker ? &comment : nullptr, atEnd), found) << key;
        EXPECT_TRUE(k.str() + "|" + comment.str() == after) << key;
        EXPECT_EQ(f.position(), position) << key;
    }
}
