#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace vellumo {

// Qt lays out and shapes a block of text whole, on loading and again on every
// keystroke in it: a line of a megabyte takes seconds each time. The text area
// therefore holds a line longer than this as several blocks, "pieces", and
// joins them again whenever its text is read.
constexpr qsizetype kMaxPieceChars = 8192;

// Where the lines of text that are longer than maxPiece are cut into pieces:
// ascending indexes into text, each the first character of a piece that goes
// on a line (never a line's own start). Lines end at the characters that
// become block ends in the text area: CR, LF, U+2029 and Qt's frame marks
// U+FDD0 and U+FDD1; a line separator (U+2028) stays inside a line. A cut
// never parts a surrogate pair, and it falls just after a blank near the end
// of a piece when there is one, so the pieces wrap much as the line would.
// Short lines cost next to nothing: the scan looks at a few characters of
// each stretch of maxPiece.
std::vector<qsizetype> pieceCuts(QStringView text, qsizetype maxPiece = kMaxPieceChars);

// A text held as bytes, each one character through a table: the area fills from a file's bytes
// without a decoded copy of them. The table keeps CR and LF, and gives no other byte a character
// that ends a line or a block (U+2028, U+2029, U+FDD0, U+FDD1).
struct SingleByteText {
    QByteArrayView bytes;
    const std::array<char16_t, 256> *decoding;
};

// The length of every line in every block of a grouped text, in order: what the scroll bar
// estimates wrapped lines by, known without reading the blocks back.
struct LineLengths {
    std::vector<qsizetype> blockEnds; // in lengths, just after each block's last line
    std::vector<quint16> lengths;     // never over kMaxPieceChars, as the lines are pieces
    // A text of more lines notes none: their room could be twice its size, and its blocks are
    // counted instead.
    qsizetype mostLines = std::numeric_limits<qsizetype>::max();
};
// A load notes the lines of a file of at most one line to this many bytes.
constexpr qsizetype kBytesPerNotedLine = 4;

// Short lines go into the text area several to a block, with line separators
// (U+2028) between them, so that a big text makes few blocks: Qt keeps a
// layout object per block and at times visits every one (when the widest
// line gets narrower, for one), a pause of seconds for millions of blocks.
//
// Fills out with text from index from on, its lines grouped into blocks of
// at most maxBlock characters: line breaks (those pieceCuts ends lines at; CR
// LF counts as one) inside a block become U+2028, those between blocks
// U+2029. A line longer than maxBlock gets a block of its own. The first line
// starts a block; out ends at the end of text or, once it holds at least
// minChars, just after a U+2029. Returns where the next call goes on.
qsizetype groupLines(QStringView text, qsizetype from, qsizetype minChars, QString &out,
                     qsizetype maxBlock = kMaxPieceChars);

// A text cut into runs for the area's document, each about kRunChars of grouped lines (above)
// that ends at a block end, or at the join before the next piece of a long line: inserted one
// after another, with a join after each that asks for one, they make the area's blocks.
struct Run {
    QString text;
    bool join = false;
    double done = 0; // how much of the text this run and those before it hold
};
class TextRuns {
public:
    explicit TextRuns(QStringView text) : m_text(text), m_arrived(text.size()) {}
    // Adds the lines of every block to lengths, if given. Only the first `arrived` bytes need
    // be there yet; arrive() tells of more. Lines that arrive whole are made into runs while
    // the rest come, and the break after the last of them ends a block.
    TextRuns(SingleByteText text, LineLengths *lengths, qsizetype arrived)
        : m_bytes(text), m_lengths(lengths), m_arrived(arrived)
    {
    }
    void arrive(qsizetype arrived) { m_arrived = std::max(m_arrived, arrived); }
    // The next run into run, reusing its room; false once every line that has arrived is made.
    bool next(Run &run);
    // The text's first line break, once all is made.
    QString lineBreak() const { return m_lineBreak; }

    static constexpr qsizetype kRunChars = qsizetype(1) << 18;
    static constexpr qsizetype kStretchChars = qsizetype(1) << 22;

private:
    template <class Text> bool next(const Text &text, Run &run);
    // Takes up the lines that have arrived whole since the last stretch of them.
    template <class Text> bool nextStretch(const Text &text);

    QStringView m_text;
    SingleByteText m_bytes{};
    LineLengths *m_lengths = nullptr;
    qsizetype m_arrived;
    bool m_started = false;
    bool m_inStretch = false;
    qsizetype m_end = 0;      // of the stretch
    qsizetype m_resume = 0;   // where the next stretch starts, after the break that ends this one
    qsizetype m_searched = 0; // no line break from the stretch's start up to here
    std::vector<qsizetype> m_cuts;
    size_t m_cut = 0;
    qsizetype m_from = 0; // where the piece being grouped starts
    qsizetype m_at = 0;   // in it
    QString m_lineBreak;
};

// The plain text of blocks held as raw text: blocks separated by U+2029, line
// separators U+2028 inside them. joins[k] tells whether the k-th U+2029 joins
// two pieces of one line, and then it leaves nothing; every other separator,
// U+2028 too, becomes lineBreak. Missing entries of joins are line breaks.
// The raw text's buffer is reused when nothing changes its length.
QString joinPieces(QString raw, const std::vector<bool> &joins, QStringView lineBreak);

// The first line break of the text (CR LF, LF or CR), or empty text when it has none.
QString firstLineBreak(QStringView text);
// How many characters of line break end the text: 2 for CR LF, 1 for LF or CR, else 0.
qsizetype finalLineBreak(QStringView text);

} // namespace vellumo
