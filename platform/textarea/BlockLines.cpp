#include "platform/textarea/BlockLines.h"

#include <algorithm>
#include <utility>

namespace vellumo {

void BlockLines::assign(std::vector<int> lines)
{
    m_lines = std::move(lines);
    build();
}

void BlockLines::replace(int first, int oldLast, const std::vector<int> &lines)
{
    const int old = oldLast - first + 1;
    if (old == int(lines.size())) {
        // The same blocks with new counts, as when a key is typed: update in place.
        for (int k = 0; k < old; ++k) {
            const int block = first + k;
            const qint64 diff = lines[size_t(k)] - m_lines[size_t(block)];
            m_lines[size_t(block)] = lines[size_t(k)];
            for (size_t i = size_t(block) + 1; i <= m_tree.size(); i += i & (~i + 1))
                m_tree[i - 1] += diff;
        }
        return;
    }
    const auto from = m_lines.begin() + first;
    m_lines.erase(from, from + old);
    m_lines.insert(m_lines.begin() + first, lines.begin(), lines.end());
    build();
}

void BlockLines::build()
{
    m_tree.assign(m_lines.begin(), m_lines.end());
    for (size_t i = 1; i <= m_tree.size(); ++i) {
        const size_t parent = i + (i & (~i + 1));
        if (parent <= m_tree.size())
            m_tree[parent - 1] += m_tree[i - 1];
    }
}

qint64 BlockLines::before(int block) const
{
    qint64 sum = 0;
    for (size_t i = size_t(block); i > 0; i -= i & (~i + 1))
        sum += m_tree[i - 1];
    return sum;
}

int BlockLines::blockAt(qint64 line) const
{
    // Down the tree: the most blocks whose lines sum to no more than line.
    size_t at = 0;
    size_t step = 1;
    while (step * 2 <= m_tree.size())
        step *= 2;
    for (; step > 0; step /= 2) {
        if (at + step <= m_tree.size() && m_tree[at + step - 1] <= line) {
            at += step;
            line -= m_tree[at - 1];
        }
    }
    return std::min(int(at), count() - 1);
}

} // namespace vellumo
