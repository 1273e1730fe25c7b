#pragma once

#include "platform/Progress.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStringView>
#include <functional>
#include <utility>

namespace vellumo {

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
    // Replaces everything; all formatting goes with the old text. A big text reports its
    // progress to steps, which may end the replacement by throwing; the area then keeps its
    // old text and formatting.
    void setText(const QString &text, const Steps &steps);
    void setText(const QString &text) { setText(text, {}); }
    // The same for a text given a part at a time, so that it is never held whole: next fills in
    // the next part and returns false after the last. Each part is whole lines, with the line
    // break that ends it; only the last may end without one. A big text reports its progress
    // from next, which may end the replacement by throwing.
    using TextParts = std::function<bool(QString &part)>;
    void setText(const TextParts &next) { fill(next, {}); }
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
    // Steps go to the filling of each part: only a text of one part should have them.
    void fill(const TextParts &next, const Steps &steps);
    // The plain text of the cursor's selection, or of everything for a null cursor.
    QString plainText(const QTextCursor &range, QStringView lineBreak) const;
    // Returns whether it made joins.
    bool insertPieces(QTextCursor &cursor, const QString &text, const QTextCharFormat &format,
                      const Steps &steps = {});
    void mergeFormat(const QTextCharFormat &format);
    void keepJoinsOutOfTyping();
    bool stepOverJoin(QKeyEvent *event);
    // The start and end (before its break) of the line around a position.
    std::pair<int, int> lineAround(int position) const;

    QElapsedTimer m_sinceDoubleClick;
    QPoint m_doubleClickAt;

    QString m_lineBreak;
    // Set whenever joins were made since the last setText; text() looks for
    // them only then, as that takes a walk through every block.
    bool m_mayHaveJoins = false;
};

} // namespace vellumo
