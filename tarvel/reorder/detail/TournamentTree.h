// Private to tarvel/reorder: a tournament (winner) tree over n values, the priority queue of the
// fast reordering kernels. Every internal node holds the index of the better of its two
// subtrees' winners, so the overall best and its index are read in O(1) and a value changes in
// O(log n). "Better" is a strict total order on (value, index) pairs given by the policy, so
// ties between equal values go to the index the policy prefers, exactly as a scan would.
#pragma once

#include <vector>

namespace tarvel::detail
{

// Smallest value, ties to the lowest index (a forward scan with a strict "<").
struct LeftmostMin
{
    template <class T> static bool better(T a, int ia, T b, int ib)
    {
        return a < b || (a == b && ia < ib);
    }
};

// Largest value, ties to the lowest index (a forward scan with a strict ">").
struct LeftmostMax
{
    template <class T> static bool better(T a, int ia, T b, int ib)
    {
        return a > b || (a == b && ia < ib);
    }
};

// Largest value, ties to the highest index (a forward scan with ">=").
struct RightmostMax
{
    template <class T> static bool better(T a, int ia, T b, int ib)
    {
        return a > b || (a == b && ia > ib);
    }
};

template <class T, class Policy> class TournamentTree
{
public:
    // n leaves holding values[0 .. n-1]. May throw std::bad_alloc.
    void assign(const std::vector<T>& values)
    {
        m_values = values;
        m_n = static_cast<int>(values.size());
        m_size = 1;
        while (m_size < m_n) m_size *= 2;
        m_node.assign(2 * static_cast<size_t>(m_size), -1);
        for (int i = 0; i < m_n; ++i) m_node[m_size + i] = i;
        for (int node = m_size - 1; node >= 1; --node) refresh(node);
    }

    void set(int i, T v)
    {
        m_values[i] = v;
        for (int node = (m_size + i) / 2; node >= 1; node /= 2) refresh(node);
    }

    T value(int i) const { return m_values[i]; }
    int winner() const { return m_node[1]; }  // -1 when there are no values
    T best() const { return m_values[m_node[1]]; }

    // Lowest index whose value is at most t, or -1; meaningful with LeftmostMin only, where a
    // subtree's winner carries its smallest value.
    int leftmost_at_most(T t) const
    {
        if (m_n == 0 || t < m_values[m_node[1]]) return -1;
        int node = 1;
        while (node < m_size)
        {
            const int left = m_node[2 * node];
            node = (left >= 0 && !(t < m_values[left])) ? 2 * node : 2 * node + 1;
        }
        return m_node[node];
    }

private:
    void refresh(int node)
    {
        const int a = m_node[2 * node];
        const int b = m_node[2 * node + 1];
        if (a < 0 || b < 0)
            m_node[node] = a < 0 ? b : a;
        else
            m_node[node] = Policy::better(m_values[b], b, m_values[a], a) ? b : a;
    }

    std::vector<T> m_values;
    std::vector<int> m_node;  // 1-based heap layout; leaves at m_size + i; -1 for padding
    int m_n = 0;
    int m_size = 1;
};

}  // namespace tarvel::detail
