#include "platform/textarea/RichTextBox.h"

#include "platform/BgrColor.h"
#include "platform/textarea/EstimatedScrollBar.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <algorithm>
#include <vector>

namespace vellumo {

RichTextBox::RichTextBox(QWidget *parent)
    : QPlainTextEdit(parent), m_bar(new EstimatedScrollBar(this)),
      m_lineBreak(QStringLiteral("\r\n"))
{
    setTabChangesFocus(true);
    // Qt's own bar would count a block of many lines as one until laid out.
    // The room for this one is always kept, so that the width for the text
    // never changes with the bar: Qt would lay out every block again.
    setViewportMargins(0, 0, m_bar->sizeHint().width(), 0);
    adopt(document());
}

QTextCharFormat RichTextBox::withoutJoin(QTextCharFormat format)
{
    format.clearProperty(kJoinProperty);
    return format;
}

bool RichTextBox::startsWithJoin(const QTextBlock &block)
{
    return block.isValid() && block.charFormat().hasProperty(kJoinProperty);
}

QString RichTextBox::text() const
{
    return plainText(QTextCursor(), m_lineBreak);
}

QString RichTextBox::plainText(const QTextCursor &range, QStringView lineBreak) const
{
    // toPlainText() would turn no-break spaces into blanks; the raw text keeps
    // them, with paragraph and line separators (Shift+Enter) to translate.
    const QTextDocument *doc = document();
    QString raw = range.isNull() ? doc->toRawText() : range.selectedText();
    std::vector<bool> joins;
    if (m_mayHaveJoins) {
        QTextBlock block =
            range.isNull() ? doc->firstBlock() : doc->findBlock(range.selectionStart());
        const QTextBlock last =
            range.isNull() ? doc->lastBlock() : doc->findBlock(range.selectionEnd());
        for (; block.isValid() && block != last; block = block.next())
            joins.push_back(startsWithJoin(block.next()));
    }
    return joinPieces(std::move(raw), joins, lineBreak);
}

bool RichTextBox::forEachPart(const std::function<bool(QStringView)> &visit) const
{
    return forEachPart(QTextCursor(), m_lineBreak, visit);
}

bool RichTextBox::forEachPart(const QTextCursor &range, QStringView lineBreak,
                              const std::function<bool(QStringView)> &visit) const
{
    // Whole blocks, as joinPieces reads raw text: each block's text with the
    // paragraph separator after it, but for the last.
    constexpr qsizetype kPartChars = 1 << 18;
    const QTextDocument *doc = document();
    const int start = range.isNull() ? 0 : range.selectionStart();
    const int end = range.isNull() ? doc->characterCount() - 1 : range.selectionEnd();
    QString raw;
    std::vector<bool> joins;
    for (QTextBlock block = doc->findBlock(start); block.isValid() && block.position() <= end;) {
        raw.clear();
        joins.clear();
        while (block.isValid() && block.position() <= end && raw.size() < kPartChars) {
            const int from = std::max(start - block.position(), 0);
            raw += QStringView(block.text()).mid(from, end - block.position() - from);
            block = block.next();
            if (block.isValid() && block.position() <= end) {
                raw += QChar::ParagraphSeparator;
                joins.push_back(m_mayHaveJoins && startsWithJoin(block));
            }
        }
        if (!visit(joinPieces(std::move(raw), joins, lineBreak)))
            return false;
    }
    return true;
}

void RichTextBox::mergeFormat(const QTextCharFormat &format)
{
    const int revision = document()->revision();
    if (!formatInSteps(format))
        mergeCurrentCharFormat(format);
    carryOfferOver(revision);
    keepJoinsOutOfTyping();
}

// In an emptied piece the typing format comes from the join before it; text
// typed with it would carry the mark, and a block end made there would
// vanish from the text.
void RichTextBox::keepJoinsOutOfTyping()
{
    if (textCursor().hasSelection())
        return;
    const QTextCharFormat format = currentCharFormat();
    if (format.hasProperty(kJoinProperty))
        setCurrentCharFormat(withoutJoin(format));
}

void RichTextBox::setSelColor(unsigned bgr)
{
    QTextCharFormat format;
    format.setForeground(colorFromBgr(bgr));
    mergeFormat(format);
}

void RichTextBox::setSelFontName(const QString &face)
{
    QTextCharFormat format;
    format.setFontFamilies(QStringList{face});
    mergeFormat(format);
}

void RichTextBox::setSelFontSize(float points)
{
    if (!(points > 0))
        return; // a zero or negative size has no meaning to the text layout
    QTextCharFormat format;
    format.setFontPointSize(points);
    mergeFormat(format);
}

void RichTextBox::setSelBold(bool bold)
{
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    mergeFormat(format);
}

void RichTextBox::setSelItalic(bool italic)
{
    QTextCharFormat format;
    format.setFontItalic(italic);
    mergeFormat(format);
}

void RichTextBox::keyPressEvent(QKeyEvent *event)
{
    const std::pair<QKeySequence::StandardKey, void (RichTextBox::*)()> edits[] = {
        {QKeySequence::Copy, &RichTextBox::copy},
        {QKeySequence::Cut, &RichTextBox::cut},
        {QKeySequence::Paste, &RichTextBox::paste},
        {QKeySequence::Undo, &RichTextBox::undo},
        {QKeySequence::Redo, &RichTextBox::redo}};
    for (const auto &[key, edit] : edits) {
        if (event == key && (key == QKeySequence::Copy || !isReadOnly())) {
            (this->*edit)();
            event->accept();
            return;
        }
    }
    bool onlyRemoves = false;
    if (replacesSelection(event, onlyRemoves)) {
        // A big selection goes in steps first; the key then does the rest, in the same group.
        run(QStringLiteral("Delete"), QStringLiteral("Deleting the selected text\u2026"),
            [&](Progress &progress) {
                inGroup(progress, [&] {
                    QTextCursor cursor = textCursor();
                    removeInSteps(cursor, progress.stage(0, 1));
                    setTextCursor(cursor);
                    if (!onlyRemoves)
                        keyPressEvent(event);
                });
            });
        event->accept();
        return;
    }
    if (!isReadOnly() && event == QKeySequence::InsertParagraphSeparator) {
        // Made here rather than by Qt, which would give the new block end the
        // typing format, join mark and all, where a piece was emptied.
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.insertBlock(cursor.blockFormat(), withoutJoin(cursor.charFormat()));
        cursor.endEditBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
        return;
    }
    if (!isReadOnly() && event == QKeySequence::DeleteEndOfLine) {
        // Qt deletes to the end of the block, which may hold many lines.
        QTextCursor cursor = textCursor();
        const int end = lineAround(cursor.position()).second;
        if (cursor.position() < end)
            cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        setTextCursor(cursor);
        event->accept();
        return;
    }
    keepJoinsOutOfTyping();
    if (m_mayHaveJoins && stepOverJoin(event)) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

std::pair<int, int> RichTextBox::lineAround(int position) const
{
    const QTextBlock block = document()->findBlock(position);
    const QString text = block.text();
    const int at = position - block.position();
    const int start = at > 0 ? int(text.lastIndexOf(QChar::LineSeparator, at - 1)) + 1 : 0;
    const int end = int(text.indexOf(QChar::LineSeparator, at));
    return {block.position() + start, block.position() + (end < 0 ? int(text.size()) : end)};
}

void RichTextBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    m_doubleClickAt = event->position().toPoint();
    m_sinceDoubleClick.start();
}

void RichTextBox::mousePressEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    const bool tripleClick =
        event->button() == Qt::LeftButton && m_sinceDoubleClick.isValid() &&
        !m_sinceDoubleClick.hasExpired(QApplication::doubleClickInterval()) &&
        (at - m_doubleClickAt).manhattanLength() < QApplication::startDragDistance();
    m_sinceDoubleClick.invalidate();
    const int clicked = tripleClick ? cursorForPosition(at).position() : -1;
    QPlainTextEdit::mousePressEvent(event);
    if (!tripleClick)
        return;
    // Qt selects the whole block, which may hold many lines: select the
    // clicked line, with its break as Qt would.
    const auto [start, end] = lineAround(clicked);
    QTextCursor cursor = textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void RichTextBox::inputMethodEvent(QInputMethodEvent *event)
{
    keepJoinsOutOfTyping();
    QPlainTextEdit::inputMethodEvent(event);
}

// A join is no character: the keys that delete or step over one character
// treat both of its sides as one place, as on an unbroken line.
bool RichTextBox::stepOverJoin(QKeyEvent *event)
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const bool joinBefore = cursor.atBlockStart() && startsWithJoin(block);
    const bool joinAfter = cursor.atBlockEnd() && startsWithJoin(block.next());
    if (!joinBefore && !joinAfter)
        return false;

    if (!cursor.hasSelection() && !isReadOnly()) {
        const bool backspace =
            event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier);
        // The character on the join's other side, past pieces emptied of text: past an
        // emptied first or last piece, that is the line break.
        if (backspace && joinBefore) {
            QTextBlock before = block.previous();
            while (before.length() == 1 && startsWithJoin(before))
                before = before.previous();
            QTextCursor edit(before);
            edit.movePosition(QTextCursor::EndOfBlock);
            edit.deletePreviousChar();
            ensureCursorVisible();
            return true;
        }
        if (event == QKeySequence::Delete && joinAfter) {
            QTextBlock after = block.next();
            while (after.length() == 1 && startsWithJoin(after.next()))
                after = after.next();
            QTextCursor(after).deleteChar();
            return true;
        }
    }

    QTextCursor::MoveOperation move;
    QTextCursor::MoveMode mode = QTextCursor::MoveAnchor;
    if (event == QKeySequence::MoveToNextChar || event == QKeySequence::SelectNextChar)
        move = joinAfter ? QTextCursor::NextCharacter : QTextCursor::NoMove;
    else if (event == QKeySequence::MoveToPreviousChar || event == QKeySequence::SelectPreviousChar)
        move = joinBefore ? QTextCursor::PreviousCharacter : QTextCursor::NoMove;
    else
        return false;
    if (event == QKeySequence::SelectNextChar || event == QKeySequence::SelectPreviousChar)
        mode = QTextCursor::KeepAnchor;
    else if (cursor.hasSelection())
        return false; // Qt collapses the selection first
    if (move == QTextCursor::NoMove || block.textDirection() == Qt::RightToLeft)
        return false;
    cursor.movePosition(move, mode, 2);
    setTextCursor(cursor);
    return true;
}

} // namespace vellumo
