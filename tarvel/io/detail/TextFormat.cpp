// The shared pieces of the text formats: buffered printf-style output, the entry forms, the
// number conversion.
#include <tarvel/io/detail/TextFormat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <system_error>

namespace tarvel::detail
{

namespace
{

locale_t c_locale();

// The C locale for the calling thread while it lives: printf's "%f" must write "0.5", not
// "0,5", whatever LC_NUMERIC the process chose.
class CLocaleScope
{
public:
    CLocaleScope() : m_previous(uselocale(c_locale())) {}
    ~CLocaleScope() { uselocale(m_previous); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t m_previous;
};

// The C locale, made once, for strtod_l: a reader must not depend on the caller's
// LC_NUMERIC (a "," decimal point would cut "1.5" to 1).
locale_t c_locale()
{
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return loc;
}

}  // namespace

TextWriter::TextWriter(CFile* file)
    : m_pFile(file), m_data(new char[kBlock + kLongestPiece]), m_capacity(kBlock + kLongestPiece),
      m_limit(file != nullptr ? kBlock - 1 : kBlock)
{
}

void TextWriter::make_room()
{
    if (m_pFile != nullptr)
    {
        flush();
        return;
    }
    const std::size_t capacity = 2 * m_capacity;
    std::unique_ptr<char[]> data(new char[capacity]);
    std::memcpy(data.get(), m_data.get(), m_used);
    m_data = std::move(data);
    m_capacity = capacity;
    m_limit = capacity - kLongestPiece;
}

// A piece longer than room() promises, in parts that fill the block.
void TextWriter::append_long(const char* text, std::size_t length)
{
    while (length > 0)
    {
        char* at = room();
        const std::size_t part = std::min(length, m_capacity - m_used);
        std::memcpy(at, text, part);
        m_used += part;
        text += part;
        length -= part;
    }
}

// vsnprintf in the C locale: through a stack buffer, or a heap one for a longer text.
void TextWriter::appendf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[512];
    int length;
    {
        const CLocaleScope cLocale;
        length = std::vsnprintf(small, sizeof small, format, args);
    }
    if (length >= 0 && std::size_t(length) < sizeof small)
    {
        append(small, std::size_t(length));
    }
    else if (length >= 0)
    {
        std::string large(std::size_t(length) + 1, '\0');
        {
            const CLocaleScope cLocale;
            std::vsnprintf(&large[0], large.size(), format, again);
        }
        append(large.data(), std::size_t(length));
    }
    // length < 0 is an encoding error: the piece is dropped
    va_end(again);
    va_end(args);
}

// printf's "%s%*.*f%s", "%s%*.*e%s" and "%s%*g%s" (precision 6), in the C locale. Finite values with a usual
// width and precision go through std::to_chars, whose fixed, scientific and general forms with
// a precision are by definition those of printf's %f, %e and %g (correctly rounded, at least
// two exponent digits), padded here as the "*" width pads: right-aligned, or left-aligned for
// a negative width. Everything else (infinities, NaN, odd widths) goes to printf in the C
// locale (appendf).
void TextWriter::entry(const EntryStyle& style, NumberForm form, double v)
{
    const char* prefix = style.prefix.GetString();
    const char* suffix = style.suffix.GetString();
    const int precision = form == NumberForm::shortest ? 6 : style.precision;
    if (std::isfinite(v) && precision >= 0 && precision <= 300 && style.width > -1000 &&
        style.width < 1000)
    {
        char digits[700];  // 309 integer digits, the point, 300 decimals
        const std::chars_format how = form == NumberForm::fixed      ? std::chars_format::fixed
                                      : form == NumberForm::exponent ? std::chars_format::scientific
                                                                     : std::chars_format::general;
        const std::to_chars_result r =
            std::to_chars(digits, digits + sizeof digits, v, how, precision);
        if (r.ec == std::errc())
        {
            const int length = int(r.ptr - digits);
            const int field = style.width < 0 ? -style.width : style.width;
            const std::size_t pad = field > length ? std::size_t(field - length) : 0;
            append(prefix);
            if (style.width >= 0) append_blanks(pad);
            append(digits, std::size_t(length));
            if (style.width < 0) append_blanks(pad);
            append(suffix);
            return;
        }
    }
    switch (form)
    {
    case NumberForm::fixed:
        appendf("%s%*.*f%s", prefix, style.width, style.precision, v, suffix);
        break;
    case NumberForm::exponent:
        appendf("%s%*.*e%s", prefix, style.width, style.precision, v, suffix);
        break;
    case NumberForm::shortest:
        appendf("%s%*g%s", prefix, style.width, v, suffix);
        break;
    }
}

void TextWriter::zero_entry(const EntryStyle& style)
{
    const EntryStyle zero{style.prefix, style.suffix, style.width, 0};
    entry(zero, NumberForm::fixed, 0.0);  // "%s%*.0f%s" of 0.0
}

void TextWriter::append_blanks(std::size_t count)
{
    static const char kBlanks[kLongestPiece + 1] =
        "                                                                ";
    while (count > 0)
    {
        const std::size_t part = std::min(count, kLongestPiece);
        append(kBlanks, part);
        count -= part;
    }
}

void TextWriter::flush()
{
    if (m_used > 0) m_pFile->Write(m_data.get(), UINT(m_used));
    m_used = 0;
}

void TextWriter::finish()
{
    if (m_pFile != nullptr) flush();
}

std::string TextWriter::take()
{
    std::string text(m_data.get(), m_used);
    m_used = 0;
    return text;
}

double number_value(const std::string& s)
{
    const char* first = s.data();
    const char* last = first + s.size();
    // from_chars is strtod in the C locale for the common case, without a leading "+" and
    // without the out-of-range results; those go to strtod_l.
    if (first != last && *first != '+')
    {
        double v = 0.0;
        const std::from_chars_result r = std::from_chars(first, last, v);
        if (r.ec == std::errc()) return v;
    }
    const int savedErrno = errno;
    const double v = strtod_l(s.c_str(), nullptr, c_locale());
    errno = savedErrno;
    return v;
}

}  // namespace tarvel::detail
