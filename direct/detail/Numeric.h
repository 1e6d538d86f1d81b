// The numeric factorization and the solves on an analysed pattern (Symbolic.h): what they
// derive once per analysis, how the work is spread over threads, and their entry points.
// Numeric.cpp factorizes, Solve.cpp substitutes.
#pragma once

#include "detail/Symbolic.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tarvel::direct
{

// A large array of doubles (the factor, the update block, the solve's copy of the right-hand
// sides) on 2 MiB boundaries, its pages marked for transparent huge pages where the system has
// them: first touching hundreds of megabytes costs far fewer page faults. Below 2 MiB it comes
// from the ordinary heap. Contents undefined after Reserve.
class LargeArray
{
public:
    // Room for at least count doubles; false (and no array) when the storage cannot be had.
    bool Reserve(size_t count);
    void Release()
    {
        m_pData.reset();
        m_nCapacity = 0;
    }
    double* data() const { return m_pData.get(); }

private:
    struct Free
    {
        void operator()(double* p) const { std::free(p); }
    };
    std::unique_ptr<double[], Free> m_pData;
    size_t m_nCapacity = 0;
};

// Derived once per analysis from a Symbolic record S.
//  L1  superOf[k] is the supernode holding pivot k
//  L2  updateInto[s] is the largest update block (rows x columns) that a descendant of s sends
//      into s; the dense workspace of a supernode's updates holds that many doubles
//  L3  subtreeSize[s] counts the supernodes of the subtree rooted at s: by the postorder (Y3)
//      they are s - subtreeSize[s] + 1 .. s
struct Layout
{
    std::vector<int> superOf;         // L1
    std::vector<int64_t> updateInto;  // L2
    std::vector<int> subtreeSize;     // L3
    int maxRows = 0;                  // largest nrows(s)
};

// Fills layout from S; std::bad_alloc when its arrays cannot be had.
void build_layout(const Symbolic& S, Layout& layout);

// How a factorization with a given thread count spreads its work.
//  P1  the subtrees rooted at tasks[i] are disjoint; each is factorized by one thread, the
//      largest (by subtreeFlops) first
//  P2  top[s] != 0 for every supernode in no task's subtree: these are factorized after all
//      tasks, in ascending order, each one's steps split over the threads
struct Plan
{
    int threads = 1;
    std::vector<int> tasks;  // P1
    std::vector<char> top;   // P2
};

// Fills plan for threads >= 1 threads; std::bad_alloc when its arrays cannot be had.
void plan_threads(const Symbolic& S, const Layout& layout, int threads, Plan& plan);

// Bytes of work space that factorize_numeric allocates for plan (the factor itself excluded).
int64_t factorization_workspace_bytes(const Symbolic& S, const Layout& layout, const Plan& plan);

// What one thread of the factorization works with, kept by the caller between factorizations
// so that a refactorization touches no new pages: the row map of the current supernode, the
// relative map of a sender, the sorted senders, the update block, and the senders whose next
// receiver lies outside the thread's subtree.
struct Workspace
{
    std::vector<int> map;          // map[row] = position of row in the current supernode's rows
    std::vector<int> relative;     // relative[i] = map[i-th sent row]
    std::vector<int> senders;      // the descendants of the current supernode, ascending
    std::vector<int64_t> sentEnd;  // per sender, the end of its rows in the current supernode
    LargeArray update;             // C, column-major
    std::vector<int> deferred;     // senders left for the top supernodes
};

// Overwrites values (holding P A P^T scattered into the lower trapezoids, Y5) by the factor L;
// spaces holds one work space per thread, sized here. Returns 1, or 0 when a pivot is not
// positive, with failedPivot the smallest such pivot (its supernode is the first in the
// postorder to fail); std::bad_alloc when the work space cannot be had.
int factorize_numeric(const Symbolic& S, const Layout& layout, const Plan& plan, double* values,
                      std::vector<Workspace>& spaces, int& failedPivot);

// Solves L L^T X = X for the k columns of X, stored in pivot order row by row (element (i, j)
// at X[i * k + j]), the groups of columns spread over threads threads; std::bad_alloc when the
// work space cannot be had.
void solve_factored(const Symbolic& S, const double* values, double* X, int k, int threads);

}  // namespace tarvel::direct
