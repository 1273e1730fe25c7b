#pragma once

#include "platform/LetGo.h"
#include "platform/Progress.h"
#include "platform/textarea/LongLines.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringView>
#include <QTextFormat>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vellumo {

class EstimatedScrollBar;
class SelectionOffer;

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
    ~RichTextBox() override;

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

    // Edits that are long on a big text (copy, cut, paste, undo, redo, a key that replaces a
    // big selection, formatting one) go through the runner, as the window's commands do: it
    // shows their progress, with Cancel, and reports their failures. Without one they run in
    // one go.
    using Work = std::function<void(Progress &progress)>;
    using Runner =
        std::function<void(const QString &command, const QString &label, const Work &work)>;
    void setRunner(Runner runner) { m_runner = std::move(runner); }

    // Whether the block end before this block joins two pieces of one line.
    static bool startsWithJoin(const QTextBlock &block);

    // Each changes one attribute of the selection, or of the typing position
    // when nothing is selected.
    void setSelColor(unsigned bgr); // 0x00BBGGRR
    void setSelFontName(const QString &face);
    void setSelFontSize(float points);
    void setSelBold(bool bold);
    void setSelItalic(bool italic);

public Q_SLOTS:
    // These hide QPlainTextEdit's, which copy, paste and undo a big text in one go. A big cut or
    // paste is made in steps, undone and redone as one; Cancel takes back the steps made, and
    // leaves the clipboard as it was.
    void copy();
    void cut();
    void paste();
    void undo();
    void redo();
    // As the Delete key: removes the selection.
    void deleteSelection();

protected:
    // Pasted or dropped rich text would bring tables and images whose
    // placeholder characters end up in saved files: take its plain text only.
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    // What the selection offers to other programs (X's primary selection, a drag): its plain
    // text, joins left out, made only when asked for.
    QMimeData *createMimeDataFromSelection() const override;
    void dropEvent(QDropEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

    // The most characters the document may take in since it was made: Qt keeps what was
    // removed, for undo, and its positions into it are 32-bit.
    virtual qint64 capacity() const;

private:
    friend class SelectionOffer;
    struct UndoGroup {
        int from; // the document's undo states before and after it
        int to;
    };

    void run(const QString &command, const QString &label, const Work &work);
    QString copyText(const QTextCursor &range, const Steps &steps) const;
    void toClipboard(std::unique_ptr<QMimeData> data);
    // Replaces the selection with text, in steps where either is big.
    void replaceSelection(const QString &text, Progress *progress);
    // Makes the edit's steps one undo step to the user; a failure or Cancel takes them back.
    void inGroup(Progress &progress, const std::function<void()> &edit);
    void removeInSteps(QTextCursor &range, const Steps &steps);
    // Whether the selection was big, and formatted in steps.
    bool formatInSteps(const QTextCharFormat &format);
    void undoGroup(const UndoGroup &group, bool undo, Progress &progress);
    void dropGroupsAbove();
    void adopt(QTextDocument *document);
    void carryOfferOver(int revisionBefore);
    // Whether the key would replace or delete the selection, and whether it does nothing else.
    bool replacesSelection(QKeyEvent *event, bool &onlyRemoves) const;
    // The parts of the text from the cursor's selection, or of everything for a null cursor.
    bool forEachPart(const QTextCursor &range, QStringView lineBreak,
                     const std::function<bool(QStringView)> &visit) const;

    // make delivers runs from runs on a worker thread.
    void fill(const std::function<void(const std::function<void(Run &)> &)> &make,
              const TextRuns &runs, const Steps &steps, LineLengths *lengths);
    // The plain text of the cursor's selection, or of everything for a null cursor.
    QString plainText(const QTextCursor &range, QStringView lineBreak) const;
    // Returns whether it made joins. Each step, of at most stepChars or so (StepSize), is an edit
    // of its own, reported to steps.
    bool insertPieces(QTextCursor &cursor, const QString &text, const QTextCharFormat &format,
                      const Steps &steps, qsizetype stepChars);
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

    Runner m_runner;
    std::vector<UndoGroup> m_groups; // of the document shown, in order
    bool m_inGroup = false;
    bool m_dropping = false;
    qint64 m_taken = 0; // characters the document has taken in, as far as known
    // What the selection last offered, kept true to the text through formatting.
    mutable QPointer<SelectionOffer> m_offer;
    LetGo m_letGo; // the documents shown before, and the clipboard's texts
};

} // namespace vellumo
