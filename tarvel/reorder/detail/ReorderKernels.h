// Private to tarvel/reorder: the labelling kernels of the reorderings, the graph measures they
// share, the frame helpers (script file, trailers, reports) and the test seams.
//
// Every reordering whose textbook form rescans the whole graph per step has two kernels: the
// plain one, which follows the algorithm step by step, and a fast one, which keeps the same
// quantities up to date incrementally and gives exactly the same labels (same ties, same float
// sums in the same order). The public operations use the fast kernel unless the path is set to
// plain; tests run both and compare. A fast kernel that cannot obtain its workspace returns
// false before it changes anything, and the plain kernel runs instead.
#pragma once

#include <tarvel/platform/File.h>
#include <tarvel/platform/detail/ReplaceFile.h>
#include <tarvel/reorder/ReorderMat.h>

#include <functional>
#include <vector>

namespace tarvel::detail
{

// ---- What the reorderings take from outside (ReorderSurroundings.cpp) ----
enum class ReorderPath
{
    fast,  // the fast kernels, each falling back to its plain form when it cannot run
    plain  // the plain kernels only
};
ReorderPath reorder_path();  // fast
unsigned tabu_seed();        // TabuReorder's seed: the calendar time

// ---- Frame of the reorderings ----
extern const char kTrailerSymmmd[];  // after the minimum-degree reorderings
extern const char kTrailerPlain[];   // after the backward labellings and TabuReorder
// The script file of one run, written through ReplaceFile beside GetScriptPath() and renamed
// onto it by commit(), so that the target always holds one whole script, also when several
// threads or processes reorder at once (the last to finish wins). There is no script when the
// path is empty or ReplaceFile refuses the target (a missing or read-only folder, a directory, a
// pipe); a character device is written in place. A write that fails drops the script (the
// target is left as it was). Either way the reordering runs: the script is only its record.
class ScriptFile
{
public:
    ScriptFile();
    // One MatlabWrite block of g, named name; the text of a trailer.
    void block(CReorderMat& g, const char* name);
    void text(const char* text);
    void commit();  // an uncommitted script is removed when the object goes

private:
    template <class Write> void guarded(Write write);
    ReplaceFile m_place;
    CFile m_file;  // open while there is a script to write
};
void write_text(CFile& file, const char* text);
void show_short_report(long ticks);
// Frame of the backward labellings and the profile reductions: script file, "before", old
// measures, labelling, new measures, percentage report, "after", trailer, close (the labelling
// runs whether or not there is a script).
void run_percentage_frame(CReorderMat& g, const std::function<void(CReorderMat&)>& label);
void show_percentage_report(long ticks, int oldB, int newB, long long oldEnv, long long newEnv);
void show_switch_report(long ticks, int oldB, int newB, int switches, long long oldEnv,
                        long long newEnv);

// ---- Graph measures, read from the label array directly ----
// The lists in transposed form: the DOFs whose list holds DOF j, each as often as it holds j,
// are idx[start[j] .. start[j+1]). For a graph built by InsertDOFs this is the graph itself;
// the kernels use it so that their bookkeeping is exact for any list contents.
struct Transpose
{
    std::vector<int> start;
    std::vector<int> idx;
    explicit Transpose(const CReorderMat& g);  // may throw std::bad_alloc
};

// Numbers of the tabu search kept by its kernel for the report.
struct TabuCounts
{
    int newB;
    long long newEnv;
    int switches;
};

struct ReorderKernels
{
    // Measures of the base class (B_f, GetB, Env) without virtual dispatch.
    static int band_of(const CReorderMat& g, int i);
    static int bandwidth(const CReorderMat& g, int& row);
    static long long envelope(const CReorderMat& g, int* pMax);  // exact, 64-bit

    // Minimum degree. Labelling only: the frames are in the public operations.
    static void min_degree_1_plain(CReorderMat& g);
    static bool min_degree_1_fast(CReorderMat& g);
    static void min_degree_2_plain(CReorderMat& g);
    static bool min_degree_2_fast(CReorderMat& g);
    static void min_degree_3_plain(CReorderMat& g);
    static bool min_degree_3_fast(CReorderMat& g);
    // From the complemented labels to the final ones; false when an allocation failed.
    static bool min_degree_4_plain(CReorderMat& g);
    // 1: done; 0: could not start (nothing changed); -1: an allocation failed during the run.
    static int min_degree_4_fast(CReorderMat& g);
    // Union of the lists in place, with a membership mark per DOF instead of a search.
    static int union_marked(CReorderMat& g, int p, int i, std::vector<unsigned>& mark,
                            unsigned& stamp, std::vector<int>& capacity);

    // Backward labelling (m_pTabu must exist). False, nothing changed, when the kernel cannot
    // obtain its workspace.
    static bool hager_1_plain(CReorderMat& g);
    static bool hager_1_fast(CReorderMat& g);
    static bool hager_2_plain(CReorderMat& g);
    static bool hager_2_fast(CReorderMat& g);
    static bool hager_3_plain(CReorderMat& g);
    static bool hager_3_fast(CReorderMat& g);
    static bool ensure_tabu(CReorderMat& g) { return g.ensure_tabu(); }

    // Profile reductions: the labels into `label` (resized to n); false, when the workspace
    // cannot be obtained.
    static bool rev_cuthill_mckee(const CReorderMat& g, std::vector<long>& label);
    static bool sloan(const CReorderMat& g, int distanceWeight, int degreeWeight,
                      std::vector<long>& label);
    // Lowers the envelope of the permutation `label` by exchanges and shifts of nearby labels,
    // reading at most about `budget` list entries.
    static bool refine_envelope(const CReorderMat& g, std::vector<long>& label, long long budget);

    // Tabu search (TabuReorder from after the seeding; TabuReorder2 whole).
    static TabuCounts tabu_1_plain(CReorderMat& g, int row, int oldB, long long oldEnv);
    static bool tabu_1_fast(CReorderMat& g, int row, int oldB, long long oldEnv, TabuCounts& out);
    static void tabu_2_plain(CReorderMat& g);
    static bool tabu_2_fast(CReorderMat& g);
    // Middle label of k's higher neighbours (mid without the DOF lookup).
    static int mid_label(const CReorderMat& g, int k);
    static int closest_to_mid(const CReorderMat& g, int k);
};

}  // namespace tarvel::detail
