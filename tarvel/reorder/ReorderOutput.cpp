// The record the reorderings leave: the Matlab script (pattern blocks and trailers), the plain
// text picture of the reordered pattern, and the three timing reports.
//
// Script block of a graph named X with n DOFs (1-based labels; the value of an entry is the
// 1-based number of the DOF of its column, on the diagonal the DOF itself):
//   X = sparse(n,n);
//   X(label(i)+1,label(u)+1) = u+1;     for every neighbour u of i, in list order
//   X(label(i)+1,label(i)+1) = i+1;     then the diagonal of i
// Lines end with "\r\n".
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/detail/ReorderKernels.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tarvel::detail
{

const char kTrailerSymmmd[] = "\r\n\r\nclose all;\r\n figure;\r\n spy(before);\r\n figure;\r\n "
                              "spy(after);\r\n r = symmmd(before);\r\nfigure;\r\n "
                              "spy(before(r,r));\r\n";
const char kTrailerPlain[] =
    "\r\n\r\nclose all;\r\n figure;\r\n spy(before);\r\n figure;\r\n spy(after);\r\n";

namespace
{

CString& script_path()
{
    static CString path("Reord.m");
    return path;
}

}  // namespace

void write_text(CFile& file, const char* text)
{
    file.Write(text, static_cast<UINT>(std::strlen(text)));
}

ScriptFile::ScriptFile()
{
    const std::string target = script_path().GetString();
    if (target.empty() || !m_place.open(target)) return;
    if (!m_file.Open(m_place.path().c_str(), CFile::modeCreate | CFile::modeWrite))
        m_place.discard();
}

template <class Write> void ScriptFile::guarded(Write write)
{
    if (!m_file.IsOpen()) return;
    try
    {
        write(m_file);
    }
    catch (const CException&)  // a full disk, a device that refuses: no script, no exception
    {
        m_file.Close();
        m_place.discard();
    }
}

void ScriptFile::block(CReorderMat& g, const char* name)
{
    guarded([&](CFile& file) { g.MatlabWrite(&file, name); });
}

void ScriptFile::text(const char* text)
{
    guarded([&](CFile& file) { write_text(file, text); });
}

void ScriptFile::commit()
{
    if (!m_file.IsOpen()) return;
    m_file.Close();
    m_place.commit();
}

void show_short_report(long ticks)
{
    const ReportTime t = report_time(seconds_by_product(ticks));
    show_report("Used time reordering:   %u m %2.2f s\r\n", t.minutes,
                static_cast<double>(t.seconds));
}

// Envelopes are printed in full (64-bit), so a report past 2^32 - 1 shows the true sums.
void show_percentage_report(long ticks, int oldB, int newB, long long oldEnv, long long newEnv)
{
    const ReportTime t = report_time(seconds_by_product(ticks));
    show_report("Used time reordering:   %u m %2.2f s\r\n Old bandwidth.        :   %u\r\n New "
                "bandwidth        :   %5.1f%%\r\n Old env                   :   %llu\r\n new env "
                "                 :   %5.1f%%\r\n",
                t.minutes, static_cast<double>(t.seconds), static_cast<unsigned>(oldB),
                100.0 * newB / oldB, static_cast<unsigned long long>(oldEnv),
                100.0 * static_cast<double>(newEnv) / static_cast<double>(oldEnv));
}

void show_switch_report(long ticks, int oldB, int newB, int switches, long long oldEnv,
                        long long newEnv)
{
    const ReportTime t = report_time(seconds_by_product(ticks));
    show_report("Used time reordering:   %u m %2.2f s\r\n Old bandwidth. :   %u\r\n New bandwidth "
                " :   %u\r\n Nr. of switches:   %u\r\n Old env        :   %llu\r\n new env        "
                ":   %llu\r\n",
                t.minutes, static_cast<double>(t.seconds), static_cast<unsigned>(oldB),
                static_cast<unsigned>(newB), static_cast<unsigned>(switches),
                static_cast<unsigned long long>(oldEnv), static_cast<unsigned long long>(newEnv));
}

}  // namespace tarvel::detail

void CReorderMat::SetScriptPath(LPCTSTR path) { tarvel::detail::script_path() = path; }

CString CReorderMat::GetScriptPath() { return tarvel::detail::script_path(); }

namespace tarvel::detail
{

// Lines of the script gathered in a fixed buffer and handed to the file in pieces; numbers are
// formatted here as "%u" formats them, without a string object per line.
class ScriptWriter
{
public:
    explicit ScriptWriter(CFile& file) : m_file(file) {}
    ScriptWriter(const ScriptWriter&) = delete;
    ScriptWriter& operator=(const ScriptWriter&) = delete;

    void text(const char* s, size_t len)
    {
        if (m_used + len > sizeof m_buf) flush();
        if (len > sizeof m_buf)
        {
            m_file.Write(s, static_cast<UINT>(len));
            return;
        }
        std::memcpy(m_buf + m_used, s, len);
        m_used += len;
    }
    void number(unsigned v)
    {
        if (m_used + 10 > sizeof m_buf) flush();
        m_used += put_number(m_buf + m_used, v);
    }
    // prefix, then "col) = value;\r\n": one line of a block, the prefix "name(row," shared by
    // the lines of one row.
    void line(const std::string& prefix, unsigned col, unsigned value)
    {
        if (m_used + prefix.size() + 27 > sizeof m_buf)
        {
            flush();
            if (prefix.size() + 27 > sizeof m_buf)  // a name longer than the buffer
            {
                text(prefix.data(), prefix.size());
                number(col);
                text(") = ", 4);
                number(value);
                text(";\r\n", 3);
                return;
            }
        }
        char* out = m_buf + m_used;
        std::memcpy(out, prefix.data(), prefix.size());
        out += prefix.size();
        out += put_number(out, col);
        std::memcpy(out, ") = ", 4);
        out += 4;
        out += put_number(out, value);
        std::memcpy(out, ";\r\n", 3);
        m_used = static_cast<size_t>(out + 3 - m_buf);
    }

    // v in decimal at out, as "%u" writes it; returns the number of characters. Two digits per
    // step from a table of the pairs 00..99, written from the last digit back once the length is
    // known (the script is millions of these, and the division count halves).
    static size_t put_number(char* out, unsigned v)
    {
        static constexpr char kPairs[] =
            "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
            "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
            "8081828384858687888990919293949596979899";
        size_t k = 1;
        for (unsigned limit = 10; k < 10 && v >= limit; limit *= 10) ++k;
        char* p = out + k;
        while (v >= 100)
        {
            const unsigned r = (v % 100) * 2;
            v /= 100;
            *--p = kPairs[r + 1];
            *--p = kPairs[r];
        }
        if (v >= 10)
        {
            *--p = kPairs[v * 2 + 1];
            *--p = kPairs[v * 2];
        }
        else
            *--p = static_cast<char>('0' + v);
        return k;
    }

    // Hands the rest to the file (not done by a destructor: Write may throw).
    void flush()
    {
        if (m_used > 0) m_file.Write(m_buf, static_cast<UINT>(m_used));
        m_used = 0;
    }

private:
    CFile& m_file;
    char m_buf[1 << 15];
    size_t m_used = 0;
};

}  // namespace tarvel::detail

void CReorderMat::MatlabWrite(CFile* file, CString name)
{
    const std::string id = name.GetString();
    const unsigned n = static_cast<unsigned>(m_nCount);
    tarvel::detail::ScriptWriter out(*file);
    out.text(id.data(), id.size());
    out.text(" = sparse(", 10);
    out.number(n);
    out.text(",", 1);
    out.number(n);
    out.text(");\r\n", 4);
    std::string prefix;
    for (int i = 0; i < m_nCount; ++i)
    {
        const unsigned row = static_cast<unsigned>(m_pLabel[i] + 1);
        char digits[10];
        prefix.assign(id).append("(");
        prefix.append(digits, tarvel::detail::ScriptWriter::put_number(digits, row)).append(",");
        for (int p = 0; p < m_pLength[i]; ++p)
        {
            const long u = m_ppData[i][p];
            out.line(prefix, static_cast<unsigned>(m_pLabel[u] + 1), static_cast<unsigned>(u + 1));
        }
        out.line(prefix, row, static_cast<unsigned>(i + 1));
    }
    out.flush();
}

// Row r: the first DOF v carrying label r (no line when none does); cell c is label(v)+1 on
// the diagonal, else the 1-based number of v's first neighbour (in list order) labelled c,
// else "   0". A nonzero cell is 7 characters wide, an empty one 4; one write per line.
void CReorderMat::WritePlotASCII(CFile* file)
{
    const int n = m_nCount;
    std::vector<int> carrier(static_cast<size_t>(n), -1);  // first DOF carrying each label
    for (int i = n - 1; i >= 0; --i)
    {
        const long label = m_pLabel[i];
        if (label >= 0 && label < n) carrier[label] = i;
    }
    std::vector<long> cellDof(static_cast<size_t>(n), -1);  // row's neighbour per column
    std::string text;
    CString cell;
    for (int r = 0; r < n; ++r)
    {
        const int v = carrier[r];
        if (v < 0) continue;
        for (int p = m_pLength[v] - 1; p >= 0; --p)  // backwards: the first in list order wins
        {
            const long u = m_ppData[v][p];
            const long c = m_pLabel[u];
            if (c >= 0 && c < n) cellDof[c] = u;
        }
        text.clear();
        for (int c = 0; c < n; ++c)
        {
            if (c == r)
                cell.Format("%7u", static_cast<unsigned>(m_pLabel[v] + 1));
            else if (cellDof[c] >= 0)
                cell.Format("%7u", static_cast<unsigned>(cellDof[c] + 1));
            else
            {
                text += "   0";
                continue;
            }
            text += cell.str();
        }
        text += "\r\n";
        file->Write(text.data(), static_cast<UINT>(text.size()));
        for (int p = 0; p < m_pLength[v]; ++p)
        {
            const long c = m_pLabel[m_ppData[v][p]];
            if (c >= 0 && c < n) cellDof[c] = -1;
        }
    }
}
