// What the reorderings leave behind: script files byte for byte for one reordering of each
// family, the text plot, the report texts, the caller's file, and the labelling without a
// script.
#include "GraphProbe.h"
#include "fem/Roads.h"

#include <tarvel/reorder/detail/ReorderReports.h>

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

using namespace tarvel_test;
using ReorderOutput = ReorderTest;

namespace
{

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
// fixed), then MinDegReorder writing to the caller's file, which it leaves open: each script and
// report (time aside) in turn, byte for byte.
TEST_F(ReorderOutput, ScriptsAndReportsOfEachFamily)
{
    SeedScope seed([] { return 1u; });
    const std::tuple<void (CReorderMat::*)(), int, ElementList> cases[] = {
        {&CReorderMat::MinDegReorder2, 4, kPath},  // labels 2, 0, 1, 3
        {&CReorderMat::Hager1, 4, kPath},          // 2, 0, 3, 1: bandwidth 3 -> 1, envelope 10 -> 4
        {&CReorderMat::RevCuthillMcKee, 4, kPath},         // 1, 3, 0, 2: the same measures
        {&CReorderMat::TabuReorder, 3, {{0, 1}, {1, 2}}},  // 1, 2, 0
    };
    std::string all;
    for (const auto& [run, n, elements] : cases)
    {
        GraphProbe g(n, elements);
        m_messages.clear();
        (g.*run)();
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_types[0], MB_OK);
        all += Script() + "----\r\n" + Reported(m_messages[0]) + "====\r\n";
    }
    GraphProbe pair(2, {{0, 1}});
    CFile file;
    ASSERT_TRUE(file.Open(m_dir.file("mine.m").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    pair.MinDegReorder(&file);
    file.Write("%", 1);
    file.Close();
    all += read_bytes(m_dir.file("mine.m"));
    EXPECT_EQ(all, read_bytes(TARVEL_TEST_DATA_DIR "/reorder/scripts.txt"));
    tarvel::detail::show_short_report(75500);  // 75.5 s
    EXPECT_EQ(m_messages.back(), "Used time reordering:   1 m 15.50 s\r\n");
}

TEST(ReorderScriptPath, DefaultIsReordMInTheCurrentDirectory)
{
    EXPECT_EQ(CReorderMat::GetScriptPath(), CString("Reord.m"));
}

// Without a script every reordering labels and reports exactly as with one (from labels every
// reordering changes; the tabu searches from a fixed seed): an empty path, a folder that does not
// exist, a directory as the target; nothing is made there.
TEST_F(ReorderOutput, RelabelsWithoutAScript)
{
    namespace fs = std::filesystem;
    const fs::path scratch = m_dir.path() / "scratch";
    fs::create_directories(scratch / "dir");
    std::mt19937 rng(3);
    GraphProbe g(12, RandomElements(rng, 12, 8, 4));
    std::copy_n(Labels_t{5, 3, 11, 0, 1, 2, 4, 6, 7, 8, 10, 9}.begin(), 12, g.m_pLabel);
    SeedScope seed([] { return 7u; });
    for (const auto& r : tarvel_fem::reorderings())
    {
        if (r.name == std::string("TabuReorder2")) continue;  // it reports nothing
        CReorderMat with(g);
        r.run(with);
        const std::string report = Reported(m_messages.back());
        EXPECT_NE(Labels(with), Labels(g)) << r.name;
        for (const std::string& path : {std::string(), (scratch / "no-such-dir/Reord.m").string(),
                                        (scratch / "dir").string()})
        {
            ScriptPathScope scope(path);
            CReorderMat without(g);
            r.run(without);
            EXPECT_EQ(Labels(without), Labels(with)) << r.name << " " << path;
            EXPECT_EQ(Reported(m_messages.back()), report);
        }
    }
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(scratch), {}), 1);
}
