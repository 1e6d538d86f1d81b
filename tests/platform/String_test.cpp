// CString: printf formatting, searching, clipped substrings, ASCII-only case mapping and
// trimming with the C locale's white space.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>

TEST(String, ConstructionAndComparison)
{
    EXPECT_EQ(CString(static_cast<LPCTSTR>(nullptr)), "");
    EXPECT_EQ(CString('x', 3), "xxx");
    EXPECT_EQ(CString('x', 0), "");
    EXPECT_EQ(CString("abcdef", 3), "abc");
    CString s = "ab";
    s += 'c';
    s += CString("de");
    s += "f";
    EXPECT_EQ(s, "abcdef");
    EXPECT_EQ("x" + s + 'y', "xabcdefy");
    EXPECT_EQ(s.GetLength(), 6);
    EXPECT_EQ(s[2], 'c');
    EXPECT_STREQ(static_cast<LPCTSTR>(s), "abcdef");
    EXPECT_TRUE(s != "abc");
    EXPECT_TRUE(CString("abc") < CString("abd"));
    EXPECT_TRUE("ab" < CString("abc"));
    EXPECT_TRUE(CString("\x7F") < CString("\x80"));  // bytes compare as unsigned
    s.Empty();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_TRUE(s == "");
}

TEST(String, FormatFollowsPrintf)
{
    CString s;
    s.Format("%u m %2.2f s", 2u, 5.0f);
    EXPECT_EQ(s, "2 m 5.00 s");
    s.Format("[%5d|%-4s|%e|%x]", -42, "ab", 1234.5, 255);
    EXPECT_EQ(s, "[  -42|ab  |1.234500e+03|ff]");
    const std::string big(1000, 'z');
    s.Format("<%s>", big.c_str());  // longer than any first guess at the size
    EXPECT_EQ(s.str(), "<" + big + ">");
    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
}

TEST(String, FindWithStart)
{
    const CString s = "abcabc";
    EXPECT_EQ(s.Find('c'), 2);
    EXPECT_EQ(s.Find('c', 3), 5);
    EXPECT_EQ(s.Find('c', 6), -1);
    EXPECT_EQ(s.Find('z'), -1);
    EXPECT_EQ(s.Find("bc"), 1);
    EXPECT_EQ(s.Find("bc", 2), 4);
    EXPECT_EQ(s.Find("bc", 5), -1);
    EXPECT_EQ(s.Find("abcd"), -1);
    EXPECT_EQ(s.Find("bc", -3), 1);  // a negative start counts from the beginning
}

TEST(String, SubstringsClip)
{
    const CString s = "hello";
    EXPECT_EQ(s.Left(2), "he");
    EXPECT_EQ(s.Left(9), "hello");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Right(3), "llo");
    EXPECT_EQ(s.Right(9), "hello");
    EXPECT_EQ(s.Right(0), "");
    EXPECT_EQ(s.Mid(1), "ello");
    EXPECT_EQ(s.Mid(5), "");
    EXPECT_EQ(s.Mid(-2), "hello");
    EXPECT_EQ(s.Mid(1, 3), "ell");
    EXPECT_EQ(s.Mid(3, 100), "lo");
    EXPECT_EQ(s.Mid(7, 1), "");
    EXPECT_EQ(s.Mid(1, -1), "");
}

TEST(String, CaseMappingTouchesAsciiOnly)
{
    CString s = "aZ09_\xE9\xC9 mIx";
    EXPECT_EQ(s.MakeUpper(), "AZ09_\xE9\xC9 MIX");
    EXPECT_EQ(s.MakeLower(), "az09_\xE9\xC9 mix");
}

TEST(String, TrimUsesCLocaleWhiteSpace)
{
    CString s = " \t\n\v\f\r x y \r\n\xA0";
    s.TrimLeft();
    EXPECT_EQ(s, "x y \r\n\xA0");  // 0xA0 is not white space in the C locale
    s = "  x y \v\f";
    EXPECT_EQ(s.TrimRight(), "  x y");
    s = "\t x \n";
    EXPECT_EQ(s.Trim(), "x");
    s = " \t ";
    EXPECT_EQ(s.Trim(), "");
}
