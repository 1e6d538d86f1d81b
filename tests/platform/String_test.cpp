// CString: construction and comparison, printf formatting, searches, clipped substrings,
// ASCII-only case mapping and trimming with the C locale's white space.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

TEST(String, ConstructionFormatAndComparison)
{
    EXPECT_EQ(CString(static_cast<LPCTSTR>(nullptr)) + CString('x', 3) + CString("abcdef", 3),
              "xxxabc");
    CString s = "ab";
    s += 'c';
    s += CString("de");
    EXPECT_EQ("x" + s + 'y', "xabcdey");
    EXPECT_TRUE("ab" < CString("abc"));
    EXPECT_TRUE(CString("\x7F") < CString("\x80"));  // bytes compare as unsigned

    s.Format("%u m %2.2f s|%5d|%-4s|%e|%x", 2u, 5.0f, -42, "ab", 1234.5, 255);
    EXPECT_EQ(s, "2 m 5.00 s|  -42|ab  |1.234500e+03|ff");
    const std::string big(1000, 'z');
    s.Format("<%s>", big.c_str());  // longer than any first guess at the size
    EXPECT_EQ(s.str(), "<" + big + ">");
}

TEST(String, SearchesSubstringsCaseAndTrim)
{
    const CString s = "abcabc";
    const int found[][2] = {{s.Find('c'), 2},     {s.Find('c', 3), 5},  {s.Find('c', 6), -1},
                            {s.Find("bc"), 1},    {s.Find("bc", 2), 4}, {s.Find("bc", 5), -1},
                            {s.Find("abcd"), -1}, {s.Find("bc", -3), 1}};
    for (const auto& f : found) EXPECT_EQ(f[0], f[1]) << &f - found;

    const CString h = "hello";
    const CString parts[][2] = {{h.Left(2), "he"},     {h.Left(9), "hello"},  {h.Left(-1), ""},
                                {h.Right(3), "llo"},   {h.Right(9), "hello"}, {h.Mid(1), "ello"},
                                {h.Mid(-2), "hello"},  {h.Mid(5), ""},        {h.Mid(1, 3), "ell"},
                                {h.Mid(3, 100), "lo"}, {h.Mid(7, 1), ""},     {h.Mid(1, -1), ""}};
    for (const auto& p : parts) EXPECT_EQ(p[0], p[1]) << &p - parts;

    CString c = "azZ09_\xE9\xC9 mIx";  // both ends of the alphabet
    EXPECT_EQ(c.MakeUpper(), "AZZ09_\xE9\xC9 MIX");
    EXPECT_EQ(c.MakeLower(), "azz09_\xE9\xC9 mix");
    // 0xA0 is not white space in the C locale; TrimRight runs down to the first character
    EXPECT_EQ(CString(" \t\n\v\f\r x y \r\n\xA0").TrimLeft(), "x y \r\n\xA0");
    EXPECT_EQ(CString("  x y \v\f").TrimRight() + "|" + CString(" \t ").Trim() + "|" +
                  CString(" ").TrimRight(),
              "  x y||");
}
