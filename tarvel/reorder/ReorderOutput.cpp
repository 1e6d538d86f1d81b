// The record the reorderings leave: the Matlab script (pattern blocks and trailers), the plain
// text picture of the reordered pattern, and the three timing reports.
//
// Script block of a graph named X with n DOFs (1-based labels; the value of an entry is the
// 1-based number of the DOF of its column, on the diagonal the DOF itself):
//   X = sparse(n,n);
//   X(label(i)+1,label(u)+1) = u+1;     for every neighbour u of i, in list order
//   X(label(i)+1,label(i)+1) = i+1;     then the diagonal of i
// Lines end with "\r\n".
#include <tarvel/io/detail/TextFormat.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/detail/ReorderReports.h>
#include <tarvel/reorder/detail/ScriptFile.h>

#include <charconv>
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

void CReorderMat::MatlabWrite(CFile* file, CString name)
{
    const std::string id = name.GetString();
    const unsigned n = static_cast<unsigned>(m_nCount);
    tarvel::detail::TextWriter out(file);
    out.append(id);
    out.append(" = sparse(", 10);
    out.put_integer(n);
    out.put_char(',');
    out.put_integer(n);
    out.append(");\r\n", 4);
    // Each line of row i: the prefix "name(row," shared by the lines of the row, then
    // "col) = value;\r\n".
    std::string prefix;
    const auto line = [&out, &prefix](unsigned col, unsigned value)
    {
        out.append(prefix);
        out.put_integer(col);
        out.append(") = ", 4);
        out.put_integer(value);
        out.append(";\r\n", 3);
    };
    for (int i = 0; i < m_nCount; ++i)
    {
        const unsigned row = static_cast<unsigned>(m_pLabel[i] + 1);
        char digits[16];
        prefix.assign(id).append("(");
        prefix.append(digits, std::to_chars(digits, digits + sizeof digits, row).ptr).append(",");
        for (int p = 0; p < m_pLength[i]; ++p)
        {
            const long u = m_ppData[i][p];
            line(static_cast<unsigned>(m_pLabel[u] + 1), static_cast<unsigned>(u + 1));
        }
        line(row, static_cast<unsigned>(i + 1));
    }
    out.finish();
}

// Row r: the first DOF v carrying label r (no line when none does); cell c is label(v)+1 on
// the diagonal, else the 1-based number of v's first neighbour (in list order) labelled c,
// else "   0". A nonzero cell is 7 characters wide, an empty one 4.
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
    tarvel::detail::TextWriter out(file);
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
        for (int c = 0; c < n; ++c)
        {
            if (c == r)
                out.appendf("%7u", static_cast<unsigned>(m_pLabel[v] + 1));
            else if (cellDof[c] >= 0)
                out.appendf("%7u", static_cast<unsigned>(cellDof[c] + 1));
            else
                out.append("   0", 4);
        }
        out.line_end();
        for (int p = 0; p < m_pLength[v]; ++p)
        {
            const long c = m_pLabel[m_ppData[v][p]];
            if (c >= 0 && c < n) cellDof[c] = -1;
        }
    }
    out.finish();
}
