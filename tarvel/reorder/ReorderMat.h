/// \file
/// CReorderMat: the degree-of-freedom (DOF) graph of a finite-element mesh with a labelling (a
/// new 0-based number for every DOF), its measures (per-DOF bandwidth, bandwidth, envelope), the
/// reorderings that change the labelling, and what a skyline matrix needs to size its profile.
///
/// Calling order: CReorderMat(type); Alloc(n); InsertDOFs(dofs, 0, k) for every element (count
/// pass); Init(); InsertDOFs(dofs, 1, k) for every element again, with the same lists (fill
/// pass); optionally Check(); one reordering; PostReorder(); CSkylineMatrix::Allocate(graph).
///
/// Invariants after a complete build:
///  G1  inner array i (m_ppData[i], m_pLength[i] entries) is the adjacency list of DOF i, in
///      insertion order; j is in the list of i exactly when i is in the list of j (as often)
///  G2  no list holds a value twice and no DOF is its own neighbour, unless an element listed a
///      DOF twice (Check() then returns false)
///  G3  m_pLabel holds m_nCount labels; after Alloc it is the identity; every reordering leaves
///      a permutation of 0 .. n-1 (it parks other values there only while it runs); the
///      minimum-degree and backward labellings check it with TARVEL_ASSERT, the tabu searches
///      only exchange labels and so keep what they start from
///  G4  m_pTabu is null or holds m_nCount entries: tabu stamps, the inverse labelling after
///      PostReorder, or the candidate list of a backward labelling, depending on what ran last
///
/// Reorderings and their record: MinDegReorder(CFile*), MinDegReorder2..4 (greedy minimum
/// degree), Hager1..3 (backward labelling by score), TabuReorder and TabuReorder2 (label
/// exchanges), RevCuthillMcKee and Sloan (profile reductions, framed as the backward
/// labellings). All but MinDegReorder(CFile*) and TabuReorder2 write the script "Reord.m" (path:
/// SetScriptPath) with the pattern before and after, and all but TabuReorder2 show a timing report
/// through AfxMessageBox. They relabel whether or not the script can be written: without it
/// (SetScriptPath(""), a missing or read-only folder) only the script is skipped.
///
/// Copying: copy construction and assignment are deep (lists through Copy, labels and stamps
/// too; m_pList, valid only while a backward labelling runs, becomes null); moving takes all
/// arrays over and leaves the source empty.
///
/// Choices where the behaviour is open:
///  - m_pList starts null and m_nStep 0; m_nType is 0 after the protected default constructor;
///  - Hager1 and the other backward labellings reset m_pList to null when they finish;
///  - the backward labellings and tabu searches allocate m_pTabu when it is absent (zeroed
///    stamps), where a graph without it would otherwise have been unusable;
///  - the reorderings compute with this class's own measures: overriding a virtual operation in
///    a derived class changes what that operation returns to callers, not the reorderings;
///  - Init frees lists that already exist instead of leaking them; the fill pass skips a pair
///    whose list could not be allocated;
///  - UnionAdj_Ex_p_i returns the length of the list it builds, which is length(p) - 1 + added
///    when i is in p's list (always, for a graph built by InsertDOFs); -1 when it cannot allocate
///    (the list of p is then unchanged);
///  - MinDegReorder4 restores the lists by handing the saved arrays back (no allocation); if an
///    allocation fails during the elimination it restores the lists and the labels it found and
///    continues with the "after" block and the report;
///  - a failed allocation in Alloc leaves an empty graph (GetRows() is 0);
///  - without a tabu array, IsCandidate and NumMovables see no stamps and InitTabu does
///    nothing; PostReorder skips labels outside 0 .. n-1;
///  - every other reordering runs in O(entries log n) or better (one-pass kernels with trees;
///    labels identical to the step-by-step forms, which the tests keep as references);
///  - MatlabWrite formats the lines itself and hands the file pieces of 32 KiB instead of one
///    write per line (the bytes are the same);
///  - the reorderings write the script under a temporary name beside the target and rename it
///    onto the target when it is complete, so concurrent runs never mix their text; a target
///    that exists and is not a regular file is never replaced: a character device (/dev/null)
///    is written in place, anything else (a directory, a pipe) gets no script; a write error
///    drops the script, never the labelling;
///  - Env saturates at 2^31 - 1 (INT_MAX) when the envelope does not fit; the reports print the
///    exact 64-bit envelopes (the same text as Env's whenever it fits).
///  - the MinDegReorder4 start scan and the Hager1 start scan take the first candidate they see
///    when no degree is below their starting value (possible only for a graph failing Check);
///  - TabuReorder draws from TarvelRand, seeded with TarvelSrand(time(nullptr))
///    (tarvel::detail::tabu_seed, in ReorderSurroundings.cpp).
///    Threads: the generator is process-wide, so TabuReorder reseeds it for every thread, and
///    tabu searches running on several threads at once draw from one sequence (their labellings
///    then vary from run to run).
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/reorder/ArrayArray.h>

namespace tarvel::detail
{
struct GraphMeasures;
struct MinDegreeKernels;
struct BackwardKernels;
struct ProfileKernels;
struct TabuKernels;
}  // namespace tarvel::detail

/// The degree-of-freedom graph with its labelling and reorderings (this file's comment states its
/// rules).
class TARVEL_API CReorderMat : public CArrayArray<long>
{
    // The kernels of the reorderings work on the lists and labels directly.
    friend struct tarvel::detail::GraphMeasures;
    friend struct tarvel::detail::MinDegreeKernels;
    friend struct tarvel::detail::BackwardKernels;
    friend struct tarvel::detail::ProfileKernels;
    friend struct tarvel::detail::TabuKernels;

public:
    explicit CReorderMat(int type);  ///< an empty graph; type becomes m_nType
    /// Copies and moves (see Copying above).
    ///@{
    CReorderMat(const CReorderMat& other);
    CReorderMat(CReorderMat&& other) noexcept;
    CReorderMat& operator=(const CReorderMat& other);
    CReorderMat& operator=(CReorderMat&& other) noexcept;
    ///@}
    ~CReorderMat() override;

    /// n DOFs, identity labels, empty lists (and zeroed stamps when m_nType is 1).
    void Alloc(int n) override;

    // ---- Virtual operations, in virtual-table order (append, never reorder) ----
    /// Weight of the backward labellings: 0.1 when d > 200, else 20 / d, in single precision.
    virtual float WFun(int d) const;
    /// Position of the first entry equal to value in the list of row; -1 when absent.
    virtual int Find(int value, int row) const;
    /// The number of DOFs.
    virtual int GetRows() const;
    /// The DOF carrying label (valid after PostReorder).
    virtual int f_v_inv(int label) const;
    /// Stores the inverse labelling in m_pTabu (allocated when absent): entry f_v(i) becomes i.
    virtual void PostReorder();
    /// False when some list holds the same value twice.
    virtual bool Check() const;
    /// Replaces the list of p by (list of p without i) followed by the entries of the list of i
    /// that are neither p nor in the old list of p; frees the list when it becomes empty.
    /// Returns the new length (-1, list unchanged, when it cannot allocate).
    virtual int UnionAdj_Ex_p_i(int p, int i);
    /// The reordered pattern as a text grid, one line per label (see the output file).
    virtual void WritePlotASCII(CFile* file);
    /// Envelope: sum of B_f over all DOFs; *pMax (when given) receives the largest B_f. When
    /// the sum exceeds 2^31 - 1 the result is 2^31 - 1 (INT_MAX): Env64 gives the exact sum.
    virtual int Env(int* pMax) const;
    /// The neighbour of k to exchange with (closest to k's middle label), or k itself.
    virtual int GetClosestToMid(int k) const;
    /// Best-exchange tabu search; no file, no report.
    virtual void TabuReorder2();
    /// Bandwidth: the largest B_f; row receives the first DOF attaining it (0 when it is 0).
    virtual int GetB(int& row) const;
    /// Number of neighbours j of i with stamp(j) < t.
    virtual int NumMovables(int i, int t) const;
    /// Tabu search from the DOF of largest bandwidth, with random restarts; script and report.
    virtual void TabuReorder();
    /// Gives every DOF as many slots as the count pass counted (filled with -1), length 0.
    virtual void Init();
    /// Couples every pair of the element's non-negative DOFs: mode 0 counts, mode 1 fills;
    /// any other mode, or k < 1, does nothing.
    virtual void InsertDOFs(long* dofs, int mode, int k);
    /// The label of dof.
    virtual int f_v(int dof) const;

protected:
    /// Whether j is a candidate to take i's place: j's label is closer to i's middle label than
    /// i's own, or j's stamp is below m_nStep.
    virtual bool IsCandidate(int i, int j) const;
    /// Middle label M of the neighbours of k labelled above k (the upper end is the DOF count
    /// when there are none); k receives the first DOF carrying M, if any. Returns M.
    virtual int mid(int& k) const;
    /// Exchanges the labels of a and b.
    virtual void Move(int a, int b);
    /// Bandwidth of one DOF: the largest |f_v(j) - f_v(dof)| over its neighbours j (0 if none).
    virtual int B_f(int dof) const;

public:
    // ---- Labels ----
    void InitLabels(int value);  ///< every label = value
    /// Has no effect.
    void GenRevCuthillMcKee();

    // ---- Measures in 64 bits (exact for every graph) ----
    /// Envelope: the sum of B_f over all DOFs; *pMax (when given) receives the largest B_f.
    long long Env64(int* pMax) const;
    /// Profile: the sum over DOFs i of f_v(i) - min{f_v(j) : j neighbour of i, f_v(j) < f_v(i)}
    /// (0 when no neighbour has a lower label): the entries below the diagonal that a skyline
    /// matrix stores.
    long long Profile64() const;

    // ---- Profile reductions; script file and percentage report, as the backward labellings.
    /// Components are numbered one after another, in the order of their lowest DOF ----
    /// Reverse Cuthill-McKee: per connected component, a breadth-first numbering from a
    /// pseudo-peripheral DOF found by the George-Liu iteration,
    /// neighbours taken by increasing degree (ties to the lower DOF number); the whole sequence
    /// is then reversed.
    void RevCuthillMcKee();
    /// Sloan's profile and wavefront reduction: per component, from a pseudo-peripheral pair
    /// (s, e), the next label goes to the DOF of highest priority W1 * dist(e) - W2 * growth of
    /// the front; run with the published weight pairs (W1, W2) = (1, 2) and (2, 1), keeping the
    /// labelling of smaller envelope (ties to (1, 2)).
    void Sloan();
    /// Sloan's labellings with both weight pairs and the reverse Cuthill-McKee labelling, each
    /// improved by a local search, the one of smallest envelope kept (ties to that order). The
    /// search keeps an exchange of two labels at most 8 apart, or a move of one label by 1 or 2
    /// places (those between shifting by one), when it lowers the envelope (Env), sweeping the
    /// positions where the last kept moves may have opened a gain until none is left or it has
    /// read 2^25 / 3 + 16 / 3 x (n + list entries) list entries (labels of different components
    /// may then interleave). Graphs of a few thousand couplings thus usually reach a local
    /// minimum; at a million DOFs the cost is about 1.3 x Sloan's. The smallest envelopes of
    /// the library's labellings.
    void SloanExchange();

    // ---- Minimum-degree reorderings ----
    /// Greedy labelling by the initial degrees of the neighbours; writes the "before" and
    /// "after" blocks to file when it is not null (not opened or closed here); short report.
    void MinDegReorder(CFile* file);
    /// Minimum degree without fill; script file and short report.
    void MinDegReorder2();
    /// Greedy labelling by the spread of the still-active neighbours; script file and report.
    void MinDegReorder3();
    /// Minimum degree with elimination (fill), chain by chain; script file and short report.
    /// The adjacency lists are exactly as before afterwards.
    /// Super-linear by its own rule: every unlabelled neighbour of the DOF being labelled takes
    /// that DOF's list into its own (the lists become the elimination graph) and the chain
    /// compares the exact lengths of the merged lists, ties by their order; so every merged list
    /// is built, and their total size is the fill of the elimination, which on a grid under this
    /// chain order grows like n^1.8 to n^2. Each merge costs O(length of the two lists), no search.
    void MinDegReorder4();

    // ---- Backward labellings (labels n-1 down to 0); script file and percentage report ----
    void Hager1();  ///< by the count of labelled neighbours
    void Hager2();  ///< by the score S_k of every candidate at every step
    void Hager3();  ///< by cached scores updated around the last labelled DOF
    /// Sets every entry of m_pTabu to value.
    void InitTabu(long value);

    // ---- Script output ----
    /// One Matlab sparse-matrix block of the pattern under the current labels, named name.
    void MatlabWrite(CFile* file, CString name);
    /// Path of the script file the reorderings write ("Reord.m" in the current directory unless
    /// set); each run replaces the whole file. "" means: write no script.
    static void SetScriptPath(LPCTSTR path);
    static CString GetScriptPath();  ///< the path SetScriptPath set

    // ---- Fields ----
    long* m_pLabel = nullptr;  ///< label of each DOF (G3)
    long* m_pTabu = nullptr;   ///< stamps / inverse labels / candidate list (G4)
    long* m_pList = nullptr;   ///< candidate list of a running backward labelling; not owned
    int m_nStep = 0;           ///< step of TabuReorder, label position of a backward labelling
    int m_nType = 0;           ///< 1: Alloc keeps a tabu array

protected:
    CReorderMat();

    /// One elimination chain of MinDegReorder4 starting at v; label receives the last label
    /// given. Returns the final limit (-1 when an allocation failed).
    int SetLabels(int v, int& label, int slack);
    /// Position in m_pList[0 .. m_nStep] of the DOF with the largest count in m_pTabu, ties to
    /// the smaller DOF number; 0 when the range is empty.
    int MinZ() const;
    /// Score of DOF k for Hager2 (single precision).
    float S_k(int k) const;
    /// Number of neighbours of k whose label is negative.
    int d_k(int k) const;
    int r_k(int k) const;  ///< the same count as d_k

private:
    void release_labels() noexcept;
    bool ensure_tabu();  ///< allocates zeroed stamps when m_pTabu is absent; false on failure
};
