#include "platform/LongLines.h"

#include <algorithm>

namespace vellumo {

namespace {

// How far back from a piece's end a blank is looked for.
constexpr qsizetype kBlankReach = 64;

bool endsBlock(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1;
}

bool isSeparator(QChar c)
{
    return c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

void cutLine(QStringView text, qsizetype start, qsizetype end, qsizetype maxPiece,
             std::vector<qsizetype> &cuts)
{
    while (end - start > maxPiece) {
        qsizetype cut = start + maxPiece;
        const qsizetype reach = std::max(start + 1, cut - std::min(kBlankReach, maxPiece / 2));
        qsizetype blank = cut;
        while (blank > reach && text[blank - 1] != u' ' && text[blank - 1] != u'\t')
            --blank;
        if (blank > reach)
            cut = blank;
        else if (text[cut - 1].isHighSurrogate() && text[cut].isLowSurrogate() && cut - 1 > start)
            --cut;
        cuts.push_back(cut);
        start = cut;
    }
}

} // namespace

std::vector<qsizetype> pieceCuts(QStringView text, qsizetype maxPiece)
{
    std::vector<qsizetype> cuts;
    maxPiece = std::max<qsizetype>(maxPiece, 2); // room for a surrogate pair
    const qsizetype size = text.size();
    qsizetype lineStart = 0;
    while (size - lineStart > maxPiece) {
        // A block end among the next maxPiece + 1 characters means every line
        // up to it is short enough; only the last one there needs a look.
        qsizetype at = lineStart + maxPiece;
        while (at >= lineStart && !endsBlock(text[at]))
            --at;
        if (at >= lineStart) {
            lineStart = at + 1;
            continue;
        }
        qsizetype end = lineStart + maxPiece + 1;
        while (end < size && !endsBlock(text[end]))
            ++end;
        cutLine(text, lineStart, end, maxPiece, cuts);
        lineStart = end + 1;
    }
    return cuts;
}

QString joinPieces(QString raw, const std::vector<bool> &joins, QStringView lineBreak)
{
    // Texts run to hundreds of megabytes with a break every few dozen
    // characters: find separators with Qt's vectorised search, copy the runs
    // between them whole. Line separators come only from Shift+Enter and pastes.
    const QStringView view(raw);
    const bool lineSeparators = view.contains(QChar::LineSeparator);
    auto nextSeparator = [&](qsizetype from) {
        if (!lineSeparators)
            return view.indexOf(QChar::ParagraphSeparator, from);
        for (qsizetype i = from; i < view.size(); ++i)
            if (isSeparator(view[i]))
                return i;
        return qsizetype(-1);
    };
    auto joinsAt = [&joins](qsizetype paragraph) {
        return paragraph < qsizetype(joins.size()) && joins[size_t(paragraph)];
    };

    qsizetype breaks = 0;
    qsizetype joined = 0;
    qsizetype paragraph = 0;
    for (qsizetype at = nextSeparator(0); at >= 0; at = nextSeparator(at + 1)) {
        if (view[at] == QChar::ParagraphSeparator && joinsAt(paragraph++))
            ++joined;
        else
            ++breaks;
    }
    if (breaks == 0 && joined == 0)
        return raw;

    if (joined == 0 && lineBreak.size() == 1) {
        const QChar brk = lineBreak.front();
        QChar *data = raw.data();
        for (qsizetype at = nextSeparator(0); at >= 0; at = nextSeparator(at + 1))
            data[at] = brk;
        return raw;
    }

    QString out(raw.size() - joined + breaks * (lineBreak.size() - 1), Qt::Uninitialized);
    QChar *dst = out.data();
    const QChar *src = raw.constData();
    qsizetype from = 0;
    paragraph = 0;
    for (qsizetype at = nextSeparator(0); at >= 0; at = nextSeparator(at + 1)) {
        std::copy(src + from, src + at, dst);
        dst += at - from;
        from = at + 1;
        if (view[at] == QChar::ParagraphSeparator && joinsAt(paragraph++))
            continue;
        dst = std::copy(lineBreak.begin(), lineBreak.end(), dst);
    }
    std::copy(src + from, src + raw.size(), dst);
    return out;
}

} // namespace vellumo
