#include "platform/textarea/LongLines.h"

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

// The next U+2028 or U+2029 at or after a position, by Qt's vectorised
// search for each: a big text has one of them every few dozen characters.
class SeparatorFinder {
public:
    explicit SeparatorFinder(QStringView text) : m_text(text) {}
    qsizetype next(qsizetype from)
    {
        if (m_line != -1 && m_line < from)
            m_line = m_text.indexOf(QChar::LineSeparator, from);
        if (m_paragraph != -1 && m_paragraph < from)
            m_paragraph = m_text.indexOf(QChar::ParagraphSeparator, from);
        if (m_line < 0 || m_paragraph < 0)
            return std::max(m_line, m_paragraph);
        return std::min(m_line, m_paragraph);
    }

private:
    QStringView m_text;
    qsizetype m_line = -2; // -2: not searched yet, -1: none left
    qsizetype m_paragraph = -2;
};

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

qsizetype groupLines(QStringView text, qsizetype from, qsizetype minChars, QString &out,
                     qsizetype maxBlock)
{
    out.clear();
    const qsizetype size = text.size();
    qsizetype block = 0;    // characters in the block so far
    qsizetype pending = -1; // where out holds the break before this line
    for (qsizetype at = from;;) {
        qsizetype end = at;
        while (end < size && !endsBlock(text[end]))
            ++end;
        const qsizetype length = end - at;
        if (pending < 0) {
            block = length;
        } else if (block + 1 + length <= maxBlock) {
            block += 1 + length;
        } else {
            out[pending] = QChar::ParagraphSeparator;
            if (out.size() >= minChars)
                return at;
            block = length;
        }
        out.append(text.mid(at, length));
        if (end == size)
            return size;
        pending = out.size();
        out.append(QChar::LineSeparator);
        at = end + (text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n' ? 2 : 1);
    }
}

QString joinPieces(QString raw, const std::vector<bool> &joins, QStringView lineBreak)
{
    // Texts run to hundreds of megabytes with a break every few dozen
    // characters: copy the runs between separators whole.
    const QStringView view(raw);
    auto eachSeparator = [view](auto &&visit) {
        SeparatorFinder find(view);
        for (qsizetype at = find.next(0); at >= 0; at = find.next(at + 1))
            visit(at);
    };
    auto joinsAt = [&joins](qsizetype paragraph) {
        return paragraph < qsizetype(joins.size()) && joins[size_t(paragraph)];
    };

    qsizetype breaks = 0;
    qsizetype joined = 0;
    qsizetype paragraph = 0;
    eachSeparator([&](qsizetype at) {
        if (view[at] == QChar::ParagraphSeparator && joinsAt(paragraph++))
            ++joined;
        else
            ++breaks;
    });
    if (breaks == 0 && joined == 0)
        return raw;

    if (joined == 0 && lineBreak.size() == 1) {
        const QChar brk = lineBreak.front();
        QChar *data = raw.data();
        eachSeparator([&](qsizetype at) { data[at] = brk; });
        return raw;
    }

    QString out(raw.size() - joined + breaks * (lineBreak.size() - 1), Qt::Uninitialized);
    QChar *dst = out.data();
    const QChar *src = raw.constData();
    qsizetype from = 0;
    paragraph = 0;
    eachSeparator([&](qsizetype at) {
        dst = std::copy(src + from, src + at, dst);
        from = at + 1;
        if (!(view[at] == QChar::ParagraphSeparator && joinsAt(paragraph++)))
            dst = std::copy(lineBreak.begin(), lineBreak.end(), dst);
    });
    std::copy(src + from, src + raw.size(), dst);
    return out;
}

QString firstLineBreak(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n')
            return QStringLiteral("\n");
        if (text[i] == u'\r')
            return i + 1 < text.size() && text[i + 1] == u'\n' ? QStringLiteral("\r\n")
                                                               : QStringLiteral("\r");
    }
    return QString();
}

qsizetype finalLineBreak(QStringView text)
{
    if (text.endsWith(u"\r\n"))
        return 2;
    return text.endsWith(u'\n') || text.endsWith(u'\r') ? 1 : 0;
}

} // namespace vellumo
