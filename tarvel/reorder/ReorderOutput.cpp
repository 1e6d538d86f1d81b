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

bool open_script(CFile& file)
{
    return file.Open(script_path(),
                     CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive) != FALSE;
}

void write_text(CFile& file, const char* text)
{
    file.Write(text, static_cast<UINT>(std::strlen(text)));
}

void show_short_report(long ticks)
{
    const ReportTime t = report_time(seconds_by_product(ticks));
    show_report("Used time reordering:   %u m %2.2f s\r\n", t.minutes,
                static_cast<double>(t.seconds));
}

void show_percentage_report(long ticks, int oldB, int newB, int oldEnv, int newEnv)
{
    const ReportTime t = report_time(seconds_by_product(ticks));
    show_report("Used time reordering:   %u m %2.2f s\r\n Old bandwidth.        :   %u\r\n New "
                "bandwidth        :   %5.1f%%\r\n Old env                   :   %u\r\n new env "
                "                 :   %5.1f%%\r\n",
                t.minutes, static_cast<double>(t.seconds), static_cast<unsigned>(oldB),
                100.0 * newB / oldB, static_cast<unsigned>(oldEnv), 100.0 * newEnv / oldEnv);
}

void show_switch_report(long ticks, int oldB, int newB, int switches, int oldEnv, int newEnv)
{
    const ReportTime t = report_time(seconds_by_product(ticks));
    show_report("Used time reordering:   %u m %2.2f s\r\n Old bandwidth. :   %u\r\n New bandwidth "
                " :   %u\r\n Nr. of switches:   %u\r\n Old env        :   %u\r\n new env        "
                ":   %u\r\n",
                t.minutes, static_cast<double>(t.seconds), static_cast<unsigned>(oldB),
                static_cast<unsigned>(newB), static_cast<unsigned>(switches),
                static_cast<unsigned>(oldEnv), static_cast<unsigned>(newEnv));
}

}  // namespace tarvel::detail

void CReorderMat::SetScriptPath(LPCTSTR path) { tarvel::detail::script_path() = path; }

CString CReorderMat::GetScriptPath() { return tarvel::detail::script_path(); }

void CReorderMat::MatlabWrite(CFile* file, CString name)
{
    // Lines are formatted one by one and handed to the file in pieces of about 64 KiB: the
    // bytes are those of one write per line, without one system call per line.
    constexpr size_t kPiece = 1 << 16;
    std::string out;
    CString line;
    auto put = [&](const CString& text)
    {
        out += text.str();
        if (out.size() >= kPiece)
        {
            tarvel::detail::write_text(*file, out.c_str());
            out.clear();
        }
    };
    const unsigned n = static_cast<unsigned>(m_nCount);
    line.Format("%s = sparse(%u,%u);\r\n", name.GetString(), n, n);
    put(line);
    for (int i = 0; i < m_nCount; ++i)
    {
        const unsigned row = static_cast<unsigned>(m_pLabel[i] + 1);
        for (int p = 0; p < m_pLength[i]; ++p)
        {
            const long u = m_ppData[i][p];
            line.Format("%s(%u,%u) = %u;\r\n", name.GetString(), row,
                        static_cast<unsigned>(m_pLabel[u] + 1), static_cast<unsigned>(u + 1));
            put(line);
        }
        line.Format("%s(%u,%u) = %u;\r\n", name.GetString(), row, row,
                    static_cast<unsigned>(i + 1));
        put(line);
    }
    if (!out.empty()) tarvel::detail::write_text(*file, out.c_str());
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
