#pragma once

#include "platform/Progress.h"
#include "platform/textarea/LongLines.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStringView>
#include <QTextFormat>
#include <functional>
#include <utility>

namespace vellumo {

class EstimatedScrollBar;

// The main window's editing surface. The program reads and replaces the whole
// plain text and formats the selection; everything else is the user's typing.
//
// Short lines share blocks, with line separators between them, and a line
// longer than kMaxPieceChars (platform/textarea/LongLines.h) is held as pieces, one
// block each, so that laying out stays quick; the block ends between pieces
// are marked as joins, which text(), copying and dragging leave out. Typing,
// deleting, pasting, Enter and formatting keep the joins exact.
class RichTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);

    // The whole content, exactly as held: no-break spaces stay, and every line
    // break comes back in the form the last replaced text used first
    // (CR LF when it had none).
    QString text() const;
    // The same text in parts of about 256K characters, in order, each handed to
    // visit until it returns false: a save walks a big text without holding
    // it whole. Returns whether every part was visited.
    bool forEachPart(const std::function<bool(QStringView)> &visit) const;
    // Replaces everything; all formatting goes with the old text.
    void setText(const QString &text);
    // The same from a text held as bytes, which are decoded as they go in, never all at once.
    // Where read is given, it fills in the bytes on a worker thread, telling its argument how
    // many are in after each part, and the area takes in those meanwhile. The replacement
    // reports its progress to steps, which may end it by throwing, and ends with what read
    // throws; the area then keeps its old text and formatting.
    using Reader = std::function<void(const std::function<void(qint64 arrived)> &)>;
    void setText(SingleByteText text, const Steps &steps, const Reader &read = {});
    QString lineBreak() const { return m_lineBreak; }

    // Whether the block end before this block joins two pieces of one line.
    static bool startsWithJoin(const QTextBlock &block);

    // Each changes one attribute of the selection, or of the typing position
    // when nothing is selected.
    void setSelColor(unsigned bgr); // 0x00BBGGRR
    void setSelFontName(const QString &face);
    void setSelFontSize(float points);
    void setSelBold(bool bold);
    void setSelItalic(bool italic);

protected:
    // Pasted or dropped rich text would bring tables and images whose
    // placeholder characters end up in saved files: take its plain text only.
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    // Copied and dragged text is the plain text, joins left out.
    QMimeData *createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // make delivers runs from runs on a worker thread.
    void fill(const std::function<void(const std::function<void(Run &)> &)> &make,
              const TextRuns &runs, const Steps &steps, LineLengths *lengths);
    // The plain text of the cursor's selection, or of everything for a null cursor.
    QString plainText(const QTextCursor &range, QStringView lineBreak) const;
    // Returns whether it made joins.
    bool insertPieces(QTextCursor &cursor, const QString &text, const QTextCharFormat &format);
    void mergeFormat(const QTextCharFormat &format);
    void keepJoinsOutOfTyping();
    bool stepOverJoin(QKeyEvent *event);
    // The start and end (before its break) of the line around a position.
    std::pair<int, int> lineAround(int position) const;

    // Marks a block end that joins two pieces of one line. It sits in the format
    // of the block end itself, so it goes wherever that character goes: deleted
    // with it, kept through formatting, brought back by undo.
    static constexpr int kJoinProperty = QTextFormat::UserProperty + 0x4A4E;
    static QTextCharFormat withoutJoin(QTextCharFormat format);

    EstimatedScrollBar *m_bar;
    QElapsedTimer m_sinceDoubleClick;
    QPoint m_doubleClickAt;

    QString m_lineBreak;
    // Set whenever joins were made since the last setText; text() looks for
    // them only then, as that takes a walk through every block.
    bool m_mayHaveJoins = false;
};

} // namespace vellumo
