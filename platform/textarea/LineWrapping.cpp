#include "platform/textarea/LineWrapping.h"

#include <algorithm>

namespace vellumo {

double LineWrapping::lines(qsizetype chars) const
{
    if (chars < single)
        return 1;
    if (chars <= mixed)
        return mixedLines;
    return std::max(2.0, double(chars) / charsPerLine);
}

double LineWrapping::block(QStringView text) const
{
    if (text.size() < single)
        return 1 + double(text.count(QChar::LineSeparator));
    double sum = 0;
    forEachLine(text, [&](qsizetype, qsizetype chars) { sum += lines(chars); });
    return sum;
}

LineWrapping LineWrapping::learn(const std::vector<std::pair<qsizetype, int>> &sample, double guess)
{
    LineWrapping wrap;
    qsizetype longestSingle = -1;
    qsizetype shortestWrapped = std::numeric_limits<qsizetype>::max();
    double wrappedChars = 0, wrappedLines = 0;
    for (const auto &[chars, lines] : sample) {
        if (lines == 1) {
            longestSingle = std::max(longestSingle, chars);
            continue;
        }
        shortestWrapped = std::min(shortestWrapped, chars);
        wrappedChars += double(chars);
        wrappedLines += lines;
    }
    const bool single = longestSingle >= 0;
    const bool wrapped = wrappedLines > 0;
    wrap.charsPerLine = wrapped ? wrappedChars / wrappedLines : guess;
    if (!single || !wrapped || longestSingle < shortestWrapped) {
        // Where lines start to wrap is known within the sample's lengths, and
        // the font's average character tells where in there.
        const double above = single ? double(longestSingle) + 1 : 0;
        const double upTo = wrapped ? double(shortestWrapped) : std::max(above, guess);
        wrap.single = std::clamp(guess, above, std::max(above, upTo));
        return wrap;
    }
    // Between the shortest line that wrapped and the longest that did not,
    // lines count as they did on average there.
    wrap.single = double(shortestWrapped);
    wrap.mixed = double(longestSingle);
    double count = 0, lines = 0;
    for (const auto &[chars, n] : sample) {
        if (chars >= wrap.single && chars <= wrap.mixed) {
            ++count;
            lines += n;
        }
    }
    wrap.mixedLines = lines / count;
    return wrap;
}

} // namespace vellumo
