#pragma once

#include <QtGlobal>
#include <vector>

namespace vellumo {

// A count of lines for each block of a document, with the sums before every
// block at hand in O(log n) (a Fenwick tree): the scroll bar maps between its
// value and a block this way on every move, in texts of a hundred thousand
// blocks.
class BlockLines {
public:
    void assign(std::vector<int> lines);
    // Blocks first to oldLast (inclusive; oldLast is first - 1 when none went)
    // become the blocks in lines, the ones after them move along.
    void replace(int first, int oldLast, const std::vector<int> &lines);

    int count() const { return int(m_lines.size()); }
    int at(int block) const { return m_lines[size_t(block)]; }
    qint64 before(int block) const;
    qint64 total() const { return before(count()); }
    // The block that holds line `line` of the sum, counted from 0; the last
    // block for a line past the end.
    int blockAt(qint64 line) const;

private:
    void build();

    std::vector<int> m_lines;
    std::vector<qint64> m_tree; // m_tree[i - 1] sums the lines of the blocks (i - lowbit(i), i]
};

} // namespace vellumo
