#pragma once

#include <QStringView>
#include <limits>
#include <utility>
#include <vector>

namespace vellumo {

// How many wrapped lines a line of text takes in the text area, by its
// length, as learnt from a few blocks laid out: one below `single`,
// `mixedLines` on average up to `mixed` (lengths where some lines wrap and
// some do not), else its length over `charsPerLine`.
struct LineWrapping {
    double single = std::numeric_limits<double>::infinity(); // characters
    double mixed = 0;
    double mixedLines = 1;
    double charsPerLine = std::numeric_limits<double>::infinity();

    double lines(qsizetype chars) const;
    // A block's lines: its line separators end lines too.
    double block(QStringView text) const;

    // From the length and the wrapped lines of every line in the sample, and
    // the characters that fill a line by the font's average character.
    static LineWrapping learn(const std::vector<std::pair<qsizetype, int>> &sample, double guess);
};

// Calls visit(from, chars) for each line of a block's text, the runs between
// line separators.
template <class Visit> void forEachLine(QStringView text, Visit visit)
{
    for (qsizetype from = 0;;) {
        const qsizetype end = text.indexOf(QChar::LineSeparator, from);
        visit(from, (end < 0 ? text.size() : end) - from);
        if (end < 0)
            return;
        from = end + 1;
    }
}

} // namespace vellumo
