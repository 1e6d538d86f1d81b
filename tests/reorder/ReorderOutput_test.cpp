// What the reorderings leave behind: script files byte for byte, the text plot, the report
// texts, the order of file and report, and nothing at all when the script cannot be opened.
#include "GraphProbe.h"

#include <tarvel/reorder/detail/ReorderKernels.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

using namespace tarvel_test;
using ReorderOutput = ReorderTest;

namespace
{

const char kPathBefore[] = "before = sparse(4,4);\r\n"
                           "before(1,3) = 3;\r\nbefore(1,4) = 4;\r\nbefore(1,1) = 1;\r\n"
                           "before(2,4) = 4;\r\nbefore(2,2) = 2;\r\n"
                           "before(3,1) = 1;\r\nbefore(3,3) = 3;\r\n"
                           "before(4,1) = 1;\r\nbefore(4,2) = 2;\r\nbefore(4,4) = 4;\r\n";
const char kTrailerA[] = "\r\n\r\nclose all;\r\n figure;\r\n spy(before);\r\n figure;\r\n "
                         "spy(after);\r\n r = symmmd(before);\r\nfigure;\r\n spy(before(r,r));\r\n";
const char kTrailerB[] =
    "\r\n\r\nclose all;\r\n figure;\r\n spy(before);\r\n figure;\r\n spy(after);\r\n";

// The report with its time replaced by "T": the rest is fixed.
std::string WithoutTime(const std::string& report)
{
    static const std::regex time("^Used time reordering:   [0-9]+ m [ 0-9]+\\.[0-9]{2} s\r\n");
    EXPECT_TRUE(std::regex_search(report, time)) << report;
    return std::regex_replace(report, time, "T\r\n");
}

std::string WrittenBy(void (CReorderMat::*write)(CFile*), CReorderMat& g, const TempDir& dir)
{
    CFile file;
    EXPECT_TRUE(file.Open(dir.file("out.txt").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    (g.*write)(&file);
    file.Close();
    return read_bytes(dir.file("out.txt"));
}

}  // namespace

TEST_F(ReorderOutput, MatlabBlockOfTwoCoupledDofs)
{
    GraphProbe g(2, {{0, 1}});
    CFile file;
    ASSERT_TRUE(file.Open(m_dir.file("b.m").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    g.MatlabWrite(&file, "before");
    file.Close();
    EXPECT_EQ(read_bytes(m_dir.file("b.m")), "before = sparse(2,2);\r\nbefore(1,2) = 2;\r\n"
                                             "before(1,1) = 1;\r\nbefore(2,1) = 1;\r\n"
                                             "before(2,2) = 2;\r\n");
}

TEST_F(ReorderOutput, PlotGrid)
{
    GraphProbe single(1, {});
    EXPECT_EQ(WrittenBy(&CReorderMat::WritePlotASCII, single, m_dir), "      1\r\n");

    // Path 0-1-2 labelled 2, 0, 1: row r shows the DOF carrying r; cells hold the 1-based
    // neighbour of that label, the diagonal the 1-based label.
    GraphProbe path(3, {{0, 1}, {1, 2}});
    const long labels[] = {2, 0, 1};
    std::copy(labels, labels + 3, path.m_pLabel);
    EXPECT_EQ(WrittenBy(&CReorderMat::WritePlotASCII, path, m_dir), "      1      3      1\r\n"
                                                                    "      2      2   0\r\n"
                                                                    "      2   0      3\r\n");

    // A label nobody carries has no line; a DOF carrying a neighbour's label shows nothing.
    GraphProbe same(2, {{0, 1}});
    same.InitLabels(0);
    EXPECT_EQ(WrittenBy(&CReorderMat::WritePlotASCII, same, m_dir), "      1   0\r\n");
}

TEST_F(ReorderOutput, MinimumDegreeScriptAndShortReport)
{
    GraphProbe g(4, kPath);
    g.MinDegReorder2();  // labels 2, 0, 1, 3
    EXPECT_EQ(Script(), std::string(kPathBefore) +
                            "after = sparse(4,4);\r\n"
                            "after(3,2) = 3;\r\nafter(3,4) = 4;\r\nafter(3,3) = 1;\r\n"
                            "after(1,4) = 4;\r\nafter(1,1) = 2;\r\n"
                            "after(2,3) = 1;\r\nafter(2,2) = 3;\r\n"
                            "after(4,3) = 1;\r\nafter(4,1) = 2;\r\nafter(4,4) = 4;\r\n" +
                            kTrailerA);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(WithoutTime(m_messages[0]), "T\r\n");
    EXPECT_EQ(m_types[0], MB_OK);
}

TEST_F(ReorderOutput, BackwardLabellingScriptAndPercentageReport)
{
    GraphProbe g(4, kPath);
    g.Hager1();  // labels 2, 0, 3, 1: bandwidth 3 -> 1, envelope 10 -> 4
    EXPECT_EQ(Script(), std::string(kPathBefore) +
                            "after = sparse(4,4);\r\n"
                            "after(3,4) = 3;\r\nafter(3,2) = 4;\r\nafter(3,3) = 1;\r\n"
                            "after(1,2) = 4;\r\nafter(1,1) = 2;\r\n"
                            "after(4,3) = 1;\r\nafter(4,4) = 3;\r\n"
                            "after(2,3) = 1;\r\nafter(2,1) = 2;\r\nafter(2,2) = 4;\r\n" +
                            kTrailerB);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(WithoutTime(m_messages[0]), "T\r\n Old bandwidth.        :   3\r\n"
                                          " New bandwidth        :    33.3%\r\n"
                                          " Old env                   :   10\r\n"
                                          " new env                  :    40.0%\r\n");
}

TEST_F(ReorderOutput, TabuScriptAndSwitchReport)
{
    SeedScope seed([] { return 1u; });
    GraphProbe g(3, {{0, 1}, {1, 2}});
    g.TabuReorder();  // labels 1, 2, 0
    EXPECT_EQ(Script(), "before = sparse(3,3);\r\n"
                        "before(1,2) = 2;\r\nbefore(1,1) = 1;\r\n"
                        "before(2,1) = 1;\r\nbefore(2,3) = 3;\r\nbefore(2,2) = 2;\r\n"
                        "before(3,2) = 2;\r\nbefore(3,3) = 3;\r\n"
                        "after = sparse(3,3);\r\n"
                        "after(2,3) = 2;\r\nafter(2,2) = 1;\r\n"
                        "after(3,2) = 1;\r\nafter(3,1) = 3;\r\nafter(3,3) = 2;\r\n"
                        "after(1,3) = 2;\r\nafter(1,1) = 3;\r\n" +
                            std::string(kTrailerB));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(WithoutTime(m_messages[0]), "T\r\n Old bandwidth. :   1\r\n New bandwidth  :   2\r\n"
                                          " Nr. of switches:   2\r\n Old env        :   3\r\n"
                                          " new env        :   5\r\n");
}

// The report of the minimum-degree reorderings comes after the file is closed; that of the
// other two families while only the "before" block is written.
TEST_F(ReorderOutput, ReportComesAtItsPlaceInTheFrame)
{
    std::vector<std::string> scriptAtReport;
    AfxSetMessageBoxHandler(
        [&](const CString&, UINT)
        {
            scriptAtReport.push_back(Script());
            return IDOK;
        });
    GraphProbe a(4, kPath), b(4, kPath), c(4, kPath);
    a.MinDegReorder4();
    b.Hager3();
    c.TabuReorder();
    ASSERT_EQ(scriptAtReport.size(), 3u);
    EXPECT_NE(scriptAtReport[0].find(kTrailerA), std::string::npos);
    EXPECT_EQ(scriptAtReport[1], kPathBefore);
    EXPECT_EQ(scriptAtReport[2].find("after"), std::string::npos);
    EXPECT_EQ(scriptAtReport[2].rfind("before = sparse(4,4);\r\n", 0), 0u);
}

TEST_F(ReorderOutput, UnopenableScriptChangesNothingAndShowsNothing)
{
    ScriptPathScope missing(m_dir.file("no-such-dir/Reord.m"));
    std::mt19937 rng(3);
    GraphProbe g(12, RandomElements(rng, 12, 8, 4));
    const long labels[] = {5, 3, 11, 0, 1, 2, 4, 6, 7, 8, 10, 9};
    std::copy(labels, labels + 12, g.m_pLabel);
    const auto lists = Lists(g);
    for (auto reorder : {&CReorderMat::MinDegReorder2, &CReorderMat::MinDegReorder3,
                         &CReorderMat::MinDegReorder4, &CReorderMat::Hager1, &CReorderMat::Hager2,
                         &CReorderMat::Hager3, &CReorderMat::TabuReorder})
    {
        (g.*reorder)();
        EXPECT_EQ(Labels(g), std::vector<long>(labels, labels + 12));
        EXPECT_EQ(std::vector<long>(g.m_pTabu, g.m_pTabu + 12), std::vector<long>(12, 0));
        EXPECT_EQ(Lists(g), lists);
    }
    EXPECT_TRUE(m_messages.empty());
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "no-such-dir"));
    g.MinDegReorder(nullptr);  // the caller's (absent) file: labelling and report as usual
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST(ReorderScriptPath, DefaultIsReordMInTheCurrentDirectory)
{
    EXPECT_EQ(CReorderMat::GetScriptPath(), CString("Reord.m"));
}

TEST_F(ReorderOutput, ShortReportShowsMinutesAndSeconds)
{
    tarvel::detail::show_short_report(75500);  // 75.5 s
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Used time reordering:   1 m 15.50 s\r\n");
}
