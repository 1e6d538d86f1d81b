// The number grammar: symbol substitution, the number scan, and the keyword searches.
#include <tarvel/core/NumberGrammar.h>
#include <tarvel/core/VirtMat.h>
#include <tarvel/core/detail/NumberScan.h>
#include <tarvel/io/detail/LineReader.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace
{

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }
bool is_separator(char c) { return c == '.' || c == ','; }
bool is_exponent(char c) { return c == 'E' || c == 'e'; }
bool is_number_char(char c)
{
    return is_digit(c) || is_sign(c) || is_separator(c) || is_exponent(c);
}
// Characters that may stand next to a keyword for it to count as stand-alone.
bool is_delimiter(char c) { return c == ' ' || c == '\t' || c == '-'; }

// A family of keywords: match(s, q) gives the length of the family's keyword beginning at q
// (0 for none) and its replacement; a keyword with a negative form swallows a "-" right
// before it and is replaced by that form instead.
struct Match
{
    std::size_t length = 0;
    const char* replacement = nullptr;
    const char* negative = nullptr;
};

// The first letters of the keywords of each family.
bool starts_pi(char c) { return c == 'P' || c == 'p'; }
bool starts_unit(char c) { return c == 'I' || c == 'i'; }
bool starts_gravity(char c) { return c == 'G' || c == 'g'; }

Match match_pi(const std::string& s, std::size_t q)
{
    if (q + 1 >= s.size()) return {};
    const char a = s[q], b = s[q + 1];
    if ((a == 'P' && (b == 'I' || b == 'i')) || (a == 'p' && b == 'i'))
        return {2, "3.141592653589793", nullptr};  // "%.15f" of pi
    return {};
}

Match match_unit(const std::string& s, std::size_t q)
{
    if (q + 1 >= s.size() || (s[q] != 'I' && s[q] != 'i')) return {};
    switch (s[q + 1])
    {
    case '1':
        return {2, "1 0 0", nullptr};
    case '2':
        return {2, "0 1 0", "0 -1 0"};
    case '3':
        return {2, "0 0 1", "0 0 -1"};
    default:
        return {};
    }
}

Match match_gravity(const std::string& s, std::size_t q)
{
    if (s[q] == 'G' || s[q] == 'g') return {1, "9.81", nullptr};
    return {};
}

// Rewrites every stand-alone keyword of the family at or after start in one left-to-right
// pass. Stand-alone is judged on the line as it was: the character before an occurrence is
// either untouched or the last one of an earlier keyword (a letter or digit before, a digit
// of the replacement after), never a delimiter either way. A swallowed "-" (negative forms
// of I2 and I3) is dropped from the text already copied; it is never part of a keyword.
template <bool (*Starts)(char), Match (*Matches)(const std::string&, std::size_t)>
void replace_family(CString& line, int start)
{
    const std::string& s = line.str();
    const std::size_t n = s.size();
    std::size_t q = start > 0 ? std::size_t(start) : 0;
    std::string out;
    std::size_t copied = 0;  // s[0, copied) is in out (once out is in use)
    bool changed = false;
    while (q < n)
    {
        if (!Starts(s[q]))
        {
            ++q;
            continue;
        }
        const Match m = Matches(s, q);
        const bool standAlone = m.length != 0 && (q == 0 || is_delimiter(s[q - 1])) &&
                                (q + m.length == n || is_delimiter(s[q + m.length]));
        if (!standAlone)
        {
            ++q;
            continue;
        }
        if (!changed)
        {
            out.reserve(n + 64);
            changed = true;
        }
        out.append(s, copied, q - copied);
        if (m.negative != nullptr && q > 0 && s[q - 1] == '-')
        {
            out.pop_back();
            out.append(m.negative);
        }
        else
        {
            out.append(m.replacement);
        }
        q += m.length;
        copied = q;
    }
    if (!changed) return;
    out.append(s, copied, std::string::npos);
    line = CString(std::move(out));
}

}  // namespace

void CVirtMat::ReplacePI(CString& line, int start)
{
    replace_family<starts_pi, match_pi>(line, start);
}

void CVirtMat::ReplaceIs(CString& line, int start)
{
    replace_family<starts_unit, match_unit>(line, start);
}

void CVirtMat::ReplaceGravity(CString& line, int start)
{
    replace_family<starts_gravity, match_gravity>(line, start);
}

namespace
{

// Whether a keyword may begin at or after start: a line without any of their first letters
// (most lines of numbers) is left alone by all three families. ReadNumber asks this on every
// call, over the rest of the line, so blocks of 16 characters are tested at once (c | 0x20
// folds the ASCII capitals onto the small letters; GCC and Clang vector extensions, which
// become SSE2 or NEON instructions).
bool may_hold_keyword(const std::string& s, int start)
{
    const char* p = s.data() + start;
    const char* const end = s.data() + s.size();
#if defined(__GNUC__)
    typedef unsigned char Block __attribute__((vector_size(16)));
    for (; end - p >= 16; p += 16)
    {
        Block b;
        std::memcpy(&b, p, 16);
        b |= 0x20;
        const auto hit = (b == 'p') | (b == 'i') | (b == 'g');
        std::uint64_t half[2];
        std::memcpy(half, &hit, 16);
        if ((half[0] | half[1]) != 0) return true;
    }
#endif
    for (; p < end; ++p)
    {
        const unsigned folded = static_cast<unsigned char>(*p) | 0x20u;
        if (folded == 'p' || folded == 'i' || folded == 'g') return true;
    }
    return false;
}

}  // namespace

bool tarvel::detail::next_number(int& pos, CString& line, std::string& text, bool substitute)
{
    text.clear();
    if (pos < 0) pos = 0;
    if (substitute && pos < line.GetLength() && may_hold_keyword(line.str(), pos))
    {
        CVirtMat::ReplacePI(line, pos);
        CVirtMat::ReplaceIs(line, pos);
        CVirtMat::ReplaceGravity(line, pos);
    }

    // -- 1. Find the start of the next number --
    const std::string& s = line.str();
    const int n = line.GetLength();
    int p = pos < n ? pos : n;
    while (p < n)
    {
        const char c = s[std::size_t(p)];
        if (is_digit(c)) break;
        if (is_sign(c) && p < n - 1)
        {
            const char next = s[std::size_t(p) + 1];
            if (is_digit(next)) break;
            if (is_separator(next))
            {
                text += c;  // "-.5" is taken as "-0.5"
                text += '0';
                ++p;
                break;
            }
        }
        ++p;
    }

    // -- 2. Collect its characters --
    while (p < n && is_number_char(s[std::size_t(p)]))
    {
        const char c = s[std::size_t(p)];
        text += c == ',' ? '.' : c;
        ++p;
    }
    pos = p;
    return !text.empty();
}

namespace
{

// The last line ReadNumber substituted on this thread, as it stood afterwards, and the position
// its substitutions started from. Substituting that text again from a position at or after the
// start changes nothing (a substituted tail holds no stand-alone keyword, and stand-alone is
// judged on the whole line), so a caller's scan of one line number by number substitutes it once
// and stays linear. The key is the text itself, compared in full: the result depends only on
// the line and the position, never on how the caller filled its string.
struct SubstitutedLine
{
    std::string text;
    int from = -1;  // -1: nothing substituted yet on this thread
};
thread_local SubstitutedLine t_substituted;

}  // namespace

void CVirtMat::ReadNumber(int& pos, CString& line, CString& number)
{
    number.Empty();
    if (pos < 0) pos = 0;
    const int from = pos;
    const bool known =
        t_substituted.from >= 0 && from >= t_substituted.from && line.str() == t_substituted.text;
    std::string text;
    tarvel::detail::next_number(pos, line, text, !known);
    if (!known)
    {
        t_substituted.text = line.str();
        t_substituted.from = from;
    }
    number = CString(std::move(text));
}

// =============================================================================================
// Keyword searches
// =============================================================================================

namespace
{

// The search shared by SeekTo and SeekTo_ReplLine; matched receives the line as
// compared when it is not null and the search succeeds.
bool seek_keyword(CString& keyword, CFile& file, CString* comment, bool fromCurrent,
                  CString* matched)
{
    if (!fromCurrent) file.SeekToBegin();
    const ULONGLONG start = file.GetPosition();
    if (start >= file.GetLength()) return false;

    if (comment != nullptr) comment->MakeUpper();
    keyword.MakeUpper();
    bool found = false;
    {
        tarvel::detail::LineReader reader(file, tarvel::detail::LineEnds::text, 4096);
        try
        {
            CString line;
            while (!found && reader.next(line))
            {
                line.Trim();
                line.MakeUpper();
                if (comment != nullptr)
                {
                    const int at = line.Find(comment->GetString());
                    if (at >= 0) line = line.Left(at);
                }
                if (line.Find(keyword.GetString()) >= 0)
                {
                    found = true;
                    if (matched != nullptr) *matched = line;
                }
            }
            // The read-ahead goes back: the file stands just after the matching line's own
            // line end, as the reader consumed it (two bytes for CR LF, one for LF).
            if (found) reader.close();
        }
        catch (const CException&)  // an error of the reader is a search that found nothing
        {
            found = false;
        }
        reader.abort();
    }
    if (!found) file.Seek(LONGLONG(start), CFile::begin);
    return found;
}

}  // namespace

bool SeekTo(CString keyword, CFile& file, CString* comment, bool fromCurrent)
{
    return seek_keyword(keyword, file, comment, fromCurrent, nullptr);
}

bool SeekTo_ReplLine(CString& keyword, CFile& file, CString* comment, bool fromCurrent)
{
    CString matched;
    if (!seek_keyword(keyword, file, comment, fromCurrent, &matched)) return false;
    keyword = matched;
    return true;
}
