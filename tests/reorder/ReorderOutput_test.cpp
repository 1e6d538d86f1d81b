// What the reorderings leave behind: script files byte for byte for one reordering of each
// family, the text plot, the report texts, the caller's file, and the labelling without a
// script.
#include "GraphProbe.h"

#include <tarvel/reorder/detail/ReorderReports.h>

#include <algorithm>
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
const char kHagerReport[] =
    "T\r\n Old bandwidth.        :   3\r\n New bandwidth        :    33.3%\r\n"
    " Old env                   :   10\r\n new env                  :    "
    "40.0%\r\n";
const char kTrailerB[] =
    "\r\n\r\nclose all;\r\n figure;\r\n spy(before);\r\n figure;\r\n spy(after);\r\n";

// The report with its leading time line replaced by "T".
std::string Reported(const std::string& report)
{
    static const std::regex time("^Used time reordering:   [0-9]+ m [ 0-9]+\\.[0-9]{2} s\r\n");
    EXPECT_TRUE(std::regex_search(report, time)) << report;
    return std::regex_replace(report, time, "T\r\n");
}

// What MatlabWrite (named "before") or WritePlotASCII writes of g.
std::string Written(CReorderMat& g, bool plot, const TempDir& dir)
{
    CFile file;
    EXPECT_TRUE(file.Open(dir.file("out.txt").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    plot ? g.WritePlotASCII(&file) : g.MatlabWrite(&file, "before");
    file.Close();
    return read_bytes(dir.file("out.txt"));
}

}  // namespace

// One Matlab block: 1-based labels as row and column, the 1-based neighbour (or the DOF itself
// on the diagonal) as value. The plot: row r shows the DOF carrying label r, its cells the
// 1-based neighbour carrying each label and the diagonal its own 1-based label; a label nobody
// carries has no line.
TEST_F(ReorderOutput, MatlabBlockAndPlot)
{
    GraphProbe pair(2, {{0, 1}}), single(1, {}), path(3, {{0, 1}, {1, 2}});
    EXPECT_EQ(Written(pair, false, m_dir),
              "before = sparse(2,2);\r\nbefore(1,2) = 2;\r\nbefore(1,1) = "
              "1;\r\nbefore(2,1) = 1;\r\nbefore(2,2) = 2;\r\n");
    EXPECT_EQ(Written(single, true, m_dir), "      1\r\n");
    std::copy_n(Labels_t{2, 0, 1}.begin(), 3, path.m_pLabel);
    EXPECT_EQ(Written(path, true, m_dir),
              "      1      3      1\r\n      2      2   0\r\n      2   0      3\r\n");
    pair.InitLabels(0);  // DOF 0 carries label 0 and its neighbour's label
    EXPECT_EQ(Written(pair, true, m_dir), "      1   0\r\n");
}

// One reordering of each family on the path 2-0-3-1 (3-DOF path for the tabu search, seed
// fixed): the whole script and the report, time aside.
TEST_F(ReorderOutput, ScriptsAndReportsOfEachFamily)
{
    SeedScope seed([] { return 1u; });
    // The reordering, the graph, the script and the report.
    const std::tuple<void (CReorderMat::*)(), int, ElementList, std::string, std::string> cases[] =
        {
            {&CReorderMat::MinDegReorder2, 4, kPath,  // labels 2, 0, 1, 3
             std::string(kPathBefore) +
                 "after = sparse(4,4);\r\n"
                 "after(3,2) = 3;\r\nafter(3,4) = 4;\r\nafter(3,3) = 1;\r\nafter(1,4) = 4;\r\n"
                 "after(1,1) = 2;\r\nafter(2,3) = 1;\r\nafter(2,2) = 3;\r\nafter(4,3) = 1;\r\n"
                 "after(4,1) = 2;\r\nafter(4,4) = 4;\r\n" +
                 kTrailerA,
             "T\r\n"},
            {&CReorderMat::Hager1, 4,
             kPath,  // labels 2, 0, 3, 1: bandwidth 3 -> 1, envelope 10 -> 4
             std::string(kPathBefore) +
                 "after = sparse(4,4);\r\n"
                 "after(3,4) = 3;\r\nafter(3,2) = 4;\r\nafter(3,3) = 1;\r\nafter(1,2) = 4;\r\n"
                 "after(1,1) = 2;\r\nafter(4,3) = 1;\r\nafter(4,4) = 3;\r\nafter(2,3) = 1;\r\n"
                 "after(2,1) = 2;\r\nafter(2,2) = 4;\r\n" +
                 kTrailerB,
             kHagerReport},
            {&CReorderMat::RevCuthillMcKee, 4, kPath,  // labels 1, 3, 0, 2: the same measures
             std::string(kPathBefore) +
                 "after = sparse(4,4);\r\n"
                 "after(2,1) = 3;\r\nafter(2,3) = 4;\r\nafter(2,2) = 1;\r\nafter(4,3) = 4;\r\n"
                 "after(4,4) = 2;\r\nafter(1,2) = 1;\r\nafter(1,1) = 3;\r\nafter(3,2) = 1;\r\n"
                 "after(3,4) = 2;\r\nafter(3,3) = 4;\r\n" +
                 kTrailerB,
             kHagerReport},
            {&CReorderMat::TabuReorder,
             3,
             {{0, 1}, {1, 2}},  // labels 1, 2, 0
             "before = sparse(3,3);\r\nbefore(1,2) = 2;\r\nbefore(1,1) = 1;\r\nbefore(2,1) = 1;\r\n"
             "before(2,3) = 3;\r\nbefore(2,2) = 2;\r\nbefore(3,2) = 2;\r\nbefore(3,3) = 3;\r\n"
             "after = sparse(3,3);\r\nafter(2,3) = 2;\r\nafter(2,2) = 1;\r\nafter(3,2) = 1;\r\n"
             "after(3,1) = 3;\r\nafter(3,3) = 2;\r\nafter(1,3) = 2;\r\nafter(1,1) = 3;\r\n" +
                 std::string(kTrailerB),
             "T\r\n Old bandwidth. :   1\r\n New bandwidth  :   2\r\n Nr. of switches:   2\r\n Old "
             "env        :   3\r\n new env        :   5\r\n"},
        };
    for (const auto& [run, n, elements, script, report] : cases)
    {
        GraphProbe g(n, elements);
        m_messages.clear();
        (g.*run)();
        EXPECT_EQ(Script(), script);
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(Reported(m_messages[0]), report);
        EXPECT_EQ(m_types[0], MB_OK);
    }
    tarvel::detail::show_short_report(75500);  // 75.5 s
    EXPECT_EQ(m_messages.back(), "Used time reordering:   1 m 15.50 s\r\n");
}

TEST(ReorderScriptPath, DefaultIsReordMInTheCurrentDirectory)
{
    EXPECT_EQ(CReorderMat::GetScriptPath(), CString("Reord.m"));
}

// MinDegReorder writes its whole script to the caller's file, which it leaves open.
TEST_F(ReorderOutput, MinimumDegreeWritesToTheCallersFile)
{
    GraphProbe d(2, {{0, 1}});
    CFile file;
    ASSERT_TRUE(file.Open(m_dir.file("mine.m").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    d.MinDegReorder(&file);
    file.Write("%", 1);
    file.Close();
    const std::string mine = read_bytes(m_dir.file("mine.m"));
    EXPECT_EQ(mine.rfind("before = sparse(2,2);\r\n", 0), 0u);
    EXPECT_NE(mine.find("after = sparse(2,2);\r\n"), std::string::npos);
    EXPECT_EQ(mine.substr(mine.size() - sizeof kTrailerA), kTrailerA + std::string("%"));
}

namespace
{

// A random graph of 12 DOFs under labels every reordering changes.
GraphProbe Scrambled()
{
    std::mt19937 rng(3);
    GraphProbe g(12, RandomElements(rng, 12, 8, 4));
    const Labels_t start = {5, 3, 11, 0, 1, 2, 4, 6, 7, 8, 10, 9};
    std::copy(start.begin(), start.end(), g.m_pLabel);
    return g;
}

// Each scripted reordering labels and reports g (a copy) with the script at the fixture's path
// and with the script path set to path alike (TabuReorder from a fixed seed).
void expect_same_labels(const CReorderMat& g, const std::string& path,
                        std::vector<std::string>& messages)
{
    SeedScope seed([] { return 7u; });
    for (auto reorder :
         {&CReorderMat::MinDegReorder2, &CReorderMat::MinDegReorder3, &CReorderMat::MinDegReorder4,
          &CReorderMat::Hager1, &CReorderMat::Hager2, &CReorderMat::Hager3,
          &CReorderMat::TabuReorder, &CReorderMat::RevCuthillMcKee, &CReorderMat::Sloan})
    {
        CReorderMat with(g), without(g);
        (with.*reorder)();
        const std::string report = Reported(messages.back());
        EXPECT_NE(Labels(with), Labels(g));
        ScriptPathScope scope(path);
        (without.*reorder)();
        EXPECT_EQ(Labels(without), Labels(with));
        EXPECT_EQ(Reported(messages.back()), report);
    }
}

}  // namespace

// Without a script every reordering labels and reports exactly as with one: an empty path, a
// folder that does not exist, a directory as the target; nothing is made there.
TEST_F(ReorderOutput, RelabelsWithoutAScript)
{
    namespace fs = std::filesystem;
    const fs::path scratch = m_dir.path() / "scratch";
    fs::create_directories(scratch / "dir");
    const GraphProbe g = Scrambled();
    for (const std::string& path :
         {std::string(), (scratch / "no-such-dir/Reord.m").string(), (scratch / "dir").string()})
    {
        SCOPED_TRACE(path);
        expect_same_labels(g, path, m_messages);
    }
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(scratch), {}), 1);
}
