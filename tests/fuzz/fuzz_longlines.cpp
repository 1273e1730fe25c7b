// The long-line display's pieces: wherever pieceCuts cuts any text, the cuts stay inside lines
// and pieces, and joinPieces gives back the text itself, each line break in the chosen form;
// lines grouped into blocks by groupLines, in chunks of any size, give it back too.

#include "platform/textarea/LongLines.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "longlines: %s\n", what);
    std::abort();
}

// What the text area makes a block end of.
bool endsBlock(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const qsizetype maxPiece = 2 + data[0] % 63;
    static const QString forms[] = {QStringLiteral("\r\n"), QStringLiteral("\n"),
                                    QStringLiteral("\r")};
    const QString &lineBreak = forms[data[1] % 3];
    // Any UTF-16, as typed or pasted text can be: separators, frame marks, lone surrogates.
    QString text(qsizetype((size - 2) / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(data[2 + 2 * i] | (data[3 + 2 * i] << 8)));

    const std::vector<qsizetype> cuts = vellumo::pieceCuts(text, maxPiece);

    // Blocks as the area holds them: every block end one U+2029, a join before every piece.
    QString raw;
    QString expected;
    std::vector<bool> joins;
    size_t next = 0;
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (next < cuts.size() && cuts[next] == i) {
            if (i <= pieceStart || (next > 0 && cuts[next - 1] >= i))
                fail("cuts are not ascending inside a line");
            if (text[i - 1].isHighSurrogate() && text[i].isLowSurrogate())
                fail("a cut parts a surrogate pair");
            if (i - pieceStart > maxPiece)
                fail("a piece is longer than asked");
            raw += QChar::ParagraphSeparator;
            joins.push_back(true);
            pieceStart = i;
            ++next;
        }
        const char16_t c = text[i].unicode();
        if (endsBlock(c)) {
            if (i - pieceStart > maxPiece)
                fail("a piece is longer than asked");
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            raw += QChar::ParagraphSeparator;
            joins.push_back(false);
            expected += lineBreak;
            pieceStart = i + 1;
            continue;
        }
        raw += QChar(c);
        expected += c == 0x2028 ? lineBreak : QString(QChar(c));
    }
    if (next != cuts.size())
        fail("a cut lies outside a line, at a line's start or past the text");
    if (text.size() - pieceStart > maxPiece)
        fail("the last piece is longer than asked");

    if (vellumo::joinPieces(raw, joins, lineBreak) != expected)
        fail("the joined pieces are not the text");

    const qsizetype minChars = 1 + data[1] % 97;
    QString grouped;
    QString chunk;
    qsizetype at = 0;
    do {
        const qsizetype next = vellumo::groupLines(text, at, minChars, chunk, maxPiece);
        if (next <= at && !text.isEmpty())
            fail("grouping made no progress");
        if (next < text.size() && !chunk.endsWith(QChar::ParagraphSeparator))
            fail("a chunk ends inside a block");
        grouped += chunk;
        at = next;
    } while (at < text.size());
    if (vellumo::joinPieces(grouped, {}, lineBreak) != expected)
        fail("the grouped lines are not the text");
    return 0;
}
