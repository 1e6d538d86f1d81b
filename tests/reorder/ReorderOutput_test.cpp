// What the reorderings leave behind: script files byte for byte for one reordering of each
// family, the text plot, the report texts and their place in the frame, and the labelling
// without a script (or with a device as the script).
#include "GraphProbe.h"

#include <tarvel/reorder/detail/ReorderReports.h>

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

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

// The report with its leading time replaced by "T": the rest is fixed.
std::string Untimed(const std::string& report)
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
             "T\r\n Old bandwidth.        :   3\r\n New bandwidth        :    33.3%\r\n Old env    "
             "  "
             "             :   10\r\n new env                  :    40.0%\r\n"},
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
        EXPECT_EQ(Untimed(m_messages[0]), report);
        EXPECT_EQ(m_types[0], MB_OK);
    }
    tarvel::detail::show_short_report(75500);  // 75.5 s
    EXPECT_EQ(m_messages.back(), "Used time reordering:   1 m 15.50 s\r\n");
}

TEST(ReorderScriptPath, DefaultIsReordMInTheCurrentDirectory)
{
    EXPECT_EQ(CReorderMat::GetScriptPath(), CString("Reord.m"));
}

// The minimum-degree report comes after the file is closed; that of the other two families
// while only the "before" block is written. MinDegReorder writes to the caller's file (not
// closed there), and reports last.
TEST_F(ReorderOutput, ReportComesAtItsPlaceInTheFrame)
{
    std::vector<std::string> scriptAtReport;
    AfxSetMessageBoxHandler(
        [&](const CString&, UINT)
        {
            scriptAtReport.push_back(ScriptSoFar());
            return IDOK;
        });
    GraphProbe a(4, kPath), b(4, kPath), c(4, kPath), d(2, {{0, 1}});
    a.MinDegReorder4();
    b.Hager3();
    c.TabuReorder();
    CFile file;
    ASSERT_TRUE(file.Open(m_dir.file("mine.m").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    d.MinDegReorder(&file);
    file.Close();
    ASSERT_EQ(scriptAtReport.size(), 4u);
    EXPECT_NE(scriptAtReport[0].find(kTrailerA), std::string::npos);
    EXPECT_EQ(scriptAtReport[1], kPathBefore);
    EXPECT_EQ(scriptAtReport[2].find("after"), std::string::npos);
    EXPECT_EQ(scriptAtReport[2].rfind("before = sparse(4,4);\r\n", 0), 0u);
    const std::string mine = read_bytes(m_dir.file("mine.m"));
    EXPECT_EQ(mine.rfind("before = sparse(2,2);\r\n", 0), 0u);
    EXPECT_NE(mine.find("after = sparse(2,2);\r\n"), std::string::npos);
    EXPECT_EQ(mine.substr(mine.size() - std::string(kTrailerA).size()), kTrailerA);
}

namespace
{
const auto kScripted = {
    &CReorderMat::MinDegReorder2, &CReorderMat::MinDegReorder3,  &CReorderMat::MinDegReorder4,
    &CReorderMat::Hager1,         &CReorderMat::Hager2,          &CReorderMat::Hager3,
    &CReorderMat::TabuReorder,    &CReorderMat::RevCuthillMcKee, &CReorderMat::Sloan};

// TabuReorder draws from a seed fixed for the test, so that two runs label alike.
struct FixedTabuSeed
{
    SeedSource previous = SetTabuSeedSource([] { return 7u; });
    ~FixedTabuSeed() { SetTabuSeedSource(previous); }
};

// A random graph of 12 DOFs under labels every reordering changes.
GraphProbe Scrambled()
{
    std::mt19937 rng(3);
    GraphProbe g(12, RandomElements(rng, 12, 8, 4));
    const Labels_t start = {5, 3, 11, 0, 1, 2, 4, 6, 7, 8, 10, 9};
    std::copy(start.begin(), start.end(), g.m_pLabel);
    return g;
}

// The labels each scripted reordering gives g (a copy) with the script at the fixture's path,
// and then with the script path set to path.
void expect_same_labels(const CReorderMat& g, const std::string& path,
                        std::vector<std::string>& messages)
{
    FixedTabuSeed seed;
    for (auto reorder : kScripted)
    {
        CReorderMat with(g), without(g);
        (with.*reorder)();
        const std::string report = Untimed(messages.back());
        EXPECT_NE(Labels(with), Labels(g));
        ScriptPathScope scope(path);
        (without.*reorder)();
        EXPECT_EQ(Labels(without), Labels(with));
        EXPECT_EQ(Untimed(messages.back()), report);
    }
}
}  // namespace

// Without a script every reordering labels and reports exactly as with one: an empty path, a
// folder that does not exist, a read-only folder (where the test is not root), a directory or a
// pipe as the target; nothing is made there and nothing replaced.
TEST_F(ReorderOutput, RelabelsWithoutAScript)
{
    namespace fs = std::filesystem;
    const fs::path scratch = m_dir.path() / "scratch";
    fs::create_directories(scratch / "dir");
    fs::create_directories(scratch / "ro");
    fs::permissions(scratch / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    ASSERT_EQ(::mkfifo((scratch / "fifo").c_str(), 0600), 0);
    std::vector<std::string> paths = {"", (scratch / "no-such-dir/Reord.m").string(),
                                      (scratch / "dir").string(), (scratch / "fifo").string()};
    if (::access((scratch / "ro").c_str(), W_OK) != 0)
        paths.push_back((scratch / "ro/R.m").string());

    const GraphProbe g = Scrambled();
    for (const std::string& path : paths)
    {
        SCOPED_TRACE(path);
        expect_same_labels(g, path, m_messages);
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(scratch))
        left.push_back(fs::relative(entry.path(), scratch).string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"dir", "fifo", "ro"}));
    EXPECT_TRUE(fs::is_fifo(scratch / "fifo"));
}

// A script path naming a character device: the script is written into it (a device of
// /dev/null's numbers, made in the scratch folder) and the device stays a device; only the
// fixture's script is made.
TEST_F(ReorderOutput, WritesIntoADeviceWithoutReplacingIt)
{
    const std::string null = m_dir.file("null");
    if (!make_null_device(null)) GTEST_SKIP() << "no device node can be made here";
    const GraphProbe g = Scrambled();
    expect_same_labels(g, null, m_messages);
    EXPECT_TRUE(is_char_device(null));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 2);
}
