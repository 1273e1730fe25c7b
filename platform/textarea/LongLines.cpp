#include "platform/textarea/LongLines.h"

#include <QtAlgorithms>
#include <QtEndian>
#include <algorithm>

namespace vellumo {

namespace {

// How far back from a piece's end a blank is looked for.
constexpr qsizetype kBlankReach = 64;

bool endsBlock(char16_t u)
{
    return u == u'\n' || u == u'\r' || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1;
}

// The two kinds of text the area is filled from, read alike: a character at a time, and runs of
// them put into a block's text.
struct Utf16 {
    QStringView text;
    qsizetype size() const { return text.size(); }
    char16_t operator[](qsizetype i) const { return text[i].unicode(); }
    qsizetype lineEnd(qsizetype at) const
    {
        while (at < text.size() && !endsBlock(text[at].unicode()))
            ++at;
        return at;
    }
    Utf16 slice(qsizetype from, qsizetype n) const { return {text.sliced(from, n)}; }
    void appendTo(QString &out, qsizetype from, qsizetype n) const
    {
        out.append(text.mid(from, n));
    }
};

struct Bytes {
    SingleByteText text;
    qsizetype size() const { return text.bytes.size(); }
    char16_t operator[](qsizetype i) const { return (*text.decoding)[uchar(text.bytes[i])]; }
    Bytes slice(qsizetype from, qsizetype n) const
    {
        return {{text.bytes.sliced(from, n), text.decoding}};
    }
    // Only CR and LF end lines here: eight bytes are looked at in one step.
    qsizetype lineEnd(qsizetype at) const
    {
        constexpr quint64 ones = 0x0101010101010101, highs = 0x8080808080808080;
        const char *bytes = text.bytes.data();
        const qsizetype size = text.bytes.size();
        for (; at + 8 <= size; at += 8) {
            // The byte first in memory is the lowest, whatever the machine's order.
            const quint64 word = qFromLittleEndian<quint64>(bytes + at);
            const quint64 lf = word ^ (ones * '\n'), cr = word ^ (ones * '\r');
            const quint64 found = ((lf - ones) & ~lf & highs) | ((cr - ones) & ~cr & highs);
            if (found)
                return at + qCountTrailingZeroBits(found) / 8;
        }
        while (at < size && bytes[at] != '\n' && bytes[at] != '\r')
            ++at;
        return at;
    }
    void appendTo(QString &out, qsizetype from, qsizetype n) const
    {
        const qsizetype at = out.size();
        out.resize(at + n);
        auto *dst = reinterpret_cast<char16_t *>(out.data()) + at;
        const auto *src = reinterpret_cast<const uchar *>(text.bytes.data()) + from;
        const std::array<char16_t, 256> &decoding = *text.decoding;
        for (qsizetype i = 0; i < n; ++i)
            dst[i] = decoding[src[i]];
    }
};

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

template <class Text>
void cutLine(const Text &text, qsizetype start, qsizetype end, qsizetype maxPiece,
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
        else if (QChar::isHighSurrogate(text[cut - 1]) && QChar::isLowSurrogate(text[cut]) &&
                 cut - 1 > start)
            --cut;
        cuts.push_back(cut);
        start = cut;
    }
}

template <class Text> std::vector<qsizetype> cutsOf(const Text &text, qsizetype maxPiece)
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
        const qsizetype end = text.lineEnd(lineStart + maxPiece + 1);
        cutLine(text, lineStart, end, maxPiece, cuts);
        lineStart = end + 1;
    }
    return cuts;
}

// groupLines, noting in lengths (if given) the lines of each block it ends; the end of the text
// ends a block, as a piece's end does in the area.
template <class Text>
qsizetype group(const Text &text, qsizetype from, qsizetype minChars, QString &out,
                qsizetype maxBlock, LineLengths *lengths)
{
    out.resize(0); // keeps the room reserved
    if (lengths && lengths->mostLines == 0)
        lengths = nullptr;
    const qsizetype size = text.size();
    qsizetype block = 0;    // characters in the block so far
    qsizetype pending = -1; // where out holds the break before this line
    for (qsizetype at = from;;) {
        const qsizetype end = text.lineEnd(at);
        const qsizetype length = end - at;
        if (pending < 0) {
            block = length;
        } else if (block + 1 + length <= maxBlock) {
            block += 1 + length;
        } else {
            out[pending] = QChar::ParagraphSeparator;
            if (lengths)
                lengths->blockEnds.push_back(qsizetype(lengths->lengths.size()));
            if (out.size() >= minChars)
                return at;
            block = length;
        }
        text.appendTo(out, at, length);
        if (lengths && qsizetype(lengths->lengths.size()) >= lengths->mostLines)
            *lengths = LineLengths{{}, {}, 0}; // more lines than noted: none
        if (lengths && lengths->mostLines > 0)
            lengths->lengths.push_back(quint16(length));
        if (end == size) {
            if (lengths)
                lengths->blockEnds.push_back(qsizetype(lengths->lengths.size()));
            return size;
        }
        pending = out.size();
        out.append(QChar::LineSeparator);
        at = end + (text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n' ? 2 : 1);
    }
}

// Groups the part of a text from `from` to `end`, from `at` in it on.
qsizetype groupInto(const Utf16 &text, qsizetype from, qsizetype end, qsizetype at, QString &out,
                    LineLengths *)
{
    return group(text.slice(from, end - from), at, TextRuns::kRunChars, out, kMaxPieceChars,
                 nullptr);
}

qsizetype groupInto(const Bytes &text, qsizetype from, qsizetype end, qsizetype at, QString &out,
                    LineLengths *lengths)
{
    return group(text.slice(from, end - from), at, TextRuns::kRunChars, out, kMaxPieceChars,
                 lengths);
}

template <class Text> QString firstBreakOf(const Text &text)
{
    for (qsizetype at = text.lineEnd(0); at < text.size(); at = text.lineEnd(at + 1)) {
        if (text[at] == u'\n')
            return QStringLiteral("\n");
        if (text[at] == u'\r')
            return at + 1 < text.size() && text[at + 1] == u'\n' ? QStringLiteral("\r\n")
                                                                 : QStringLiteral("\r");
    }
    return QString();
}

} // namespace

std::vector<qsizetype> pieceCuts(QStringView text, qsizetype maxPiece)
{
    return cutsOf(Utf16{text}, maxPiece);
}

qsizetype groupLines(QStringView text, qsizetype from, qsizetype minChars, QString &out,
                     qsizetype maxBlock)
{
    return group(Utf16{text}, from, minChars, out, maxBlock, nullptr);
}

template <class Text> bool TextRuns::nextStretch(const Text &text)
{
    const qsizetype size = text.size();
    if (m_started && m_resume >= size)
        return false;
    const qsizetype start = m_resume;
    qsizetype end = size;
    qsizetype resume = size;
    // A stretch's long lines are found before its first run: it ends at the last line break
    // within kStretchChars, or else the next one, so that a text all there goes in at once.
    for (qsizetype window = kStretchChars;; window *= 2) {
        const qsizetype limit = std::min(m_arrived, start + window);
        if (limit >= size)
            break;
        // The last line break before the limit, short of the last byte there: a CR there may
        // yet be the start of a CR LF.
        const qsizetype from = std::max(start, m_searched);
        qsizetype at = limit - 1;
        while (at > from && !endsBlock(text[at - 1]))
            --at;
        m_searched = std::max(from, limit - 1);
        if (at <= from) {
            if (limit < m_arrived)
                continue;
            return false;
        }
        end = at - 1;
        resume = at + (text[end] == u'\r' && text[at] == u'\n' ? 1 : 0);
        if (text[end] == u'\n' && end > start && text[end - 1] == u'\r')
            --end;
        break;
    }
    m_started = m_inStretch = true;
    m_end = end;
    m_resume = m_searched = resume;
    m_from = start;
    m_at = 0;
    m_cut = 0;
    m_cuts = cutsOf(text.slice(start, end - start), kMaxPieceChars);
    for (qsizetype &cut : m_cuts)
        cut += start;
    if (m_lineBreak.isEmpty())
        m_lineBreak = firstBreakOf(text.slice(start, resume - start));
    return true;
}

template <class Text> bool TextRuns::next(const Text &text, Run &run)
{
    if (!m_inStretch && !nextStretch(text))
        return false;
    const qsizetype end = m_cut < m_cuts.size() ? m_cuts[m_cut] : m_end;
    run.text.reserve(kRunChars + kMaxPieceChars + 1);
    m_at = groupInto(text, m_from, end, m_at, run.text, m_lengths);
    run.join = false;
    if (m_from + m_at == end) {
        run.join = m_cut < m_cuts.size();
        ++m_cut;
        m_from = end;
        m_at = 0;
        if (!run.join) {
            m_inStretch = false;
            if (m_resume > m_end)
                run.text += QChar::ParagraphSeparator;
        }
    }
    run.done = double(m_from + m_at) / double(text.size());
    return true;
}

bool TextRuns::next(Run &run)
{
    return m_bytes.decoding ? next(Bytes{m_bytes}, run) : next(Utf16{m_text}, run);
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
    return firstBreakOf(Utf16{text});
}

qsizetype finalLineBreak(QStringView text)
{
    if (text.endsWith(u"\r\n"))
        return 2;
    return text.endsWith(u'\n') || text.endsWith(u'\r') ? 1 : 0;
}

} // namespace vellumo
