#include "platform/textarea/RichTextBox.h"

#include "platform/BgrColor.h"
#include "platform/textarea/EstimatedScrollBar.h"
#include "platform/textarea/LongLines.h"
#include "platform/textarea/RunsAhead.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <algorithm>
#include <memory>
#include <vector>

namespace vellumo {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// Marks a block end that joins two pieces of one line. It sits in the format
// of the block end itself, so it goes wherever that character goes: deleted
// with it, kept through formatting, brought back by undo.
constexpr int kJoinProperty = QTextFormat::UserProperty + 0x4A4E;

QTextCharFormat withoutJoin(QTextCharFormat format)
{
    format.clearProperty(kJoinProperty);
    return format;
}
} // namespace

RichTextBox::RichTextBox(QWidget *parent)
    : QPlainTextEdit(parent), m_bar(new EstimatedScrollBar(this)), m_lineBreak(kCrLf)
{
    setTabChangesFocus(true);
    // Qt's own bar would count a block of many lines as one until laid out.
    // The room for this one is always kept, so that the width for the text
    // never changes with the bar: Qt would lay out every block again.
    setViewportMargins(0, 0, m_bar->sizeHint().width(), 0);
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
    // Whole blocks, as joinPieces reads raw text: each block's text with the
    // paragraph separator after it, but for the last.
    constexpr qsizetype kPartChars = 1 << 18;
    QString raw;
    std::vector<bool> joins;
    for (QTextBlock block = document()->firstBlock(); block.isValid();) {
        raw.clear();
        joins.clear();
        while (block.isValid() && raw.size() < kPartChars) {
            raw += block.text();
            block = block.next();
            if (block.isValid()) {
                raw += QChar::ParagraphSeparator;
                joins.push_back(m_mayHaveJoins && startsWithJoin(block));
            }
        }
        if (!visit(joinPieces(std::move(raw), joins, m_lineBreak)))
            return false;
    }
    return true;
}

void RichTextBox::setText(const QString &text)
{
    TextRuns runs(text);
    fill(
        [&](const Deliver &deliver) {
            for (Run run; runs.next(run);)
                deliver(run);
        },
        runs, {}, nullptr);
}

void RichTextBox::setText(SingleByteText text, const Steps &steps, const Reader &read)
{
    LineLengths lengths;
    TextRuns runs(text, &lengths, read ? 0 : text.bytes.size());
    fill(
        [&](const Deliver &deliver) {
            Run run;
            const auto arrived = [&](qint64 count) {
                runs.arrive(count);
                while (runs.next(run))
                    deliver(run);
            };
            if (read)
                read(arrived);
            arrived(text.bytes.size());
        },
        runs, steps, &lengths);
}

void RichTextBox::fill(const std::function<void(const Deliver &)> &make, const TextRuns &runs,
                       const Steps &steps, LineLengths *lengths)
{
    // The new text is built in a document of its own and takes the old one's place only when
    // it is whole: until then the area shows the old text, and a cancelled or failed load
    // leaves it, with its formatting, as it was.
    const QTextDocument *old = document();
    auto doc = std::make_unique<QTextDocument>(this);
    doc->setDefaultFont(old->defaultFont());
    doc->setDefaultTextOption(old->defaultTextOption());
    doc->setDocumentMargin(old->documentMargin());
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc.get());
    cursor.beginEditBlock();
    const QTextBlockFormat blockFormat = cursor.blockFormat();
    const QTextCharFormat plain;
    QTextCharFormat join;
    join.setProperty(kJoinProperty, true);
    bool joins = false;
    double done = 0;
    const std::function<void()> step = [&] {
        if (steps)
            steps(done);
    };
    {
        RunsAhead ahead(make);
        QTextBlock laidOut = cursor.block(); // the blocks before it have their layouts
        for (Run run; ahead.next(run, step);) {
            cursor.insertText(run.text, plain); // not in the join's format the cursor took
            if (run.join)
                cursor.insertBlock(blockFormat, join);
            joins = joins || run.join;
            // The area gives every block a layout when it takes the document, in one go:
            // given here a few at a time, the window paints in between.
            for (const QTextBlock current = cursor.block(); laidOut != current;
                 laidOut = laidOut.next())
                laidOut.layout();
            done = run.done;
            step();
        }
    }
    cursor.endEditBlock();
    // Laid out only once it is whole: a layout would hear of every part as it went in.
    doc->setDocumentLayout(new QPlainTextDocumentLayout(doc.get()));
    doc->setUndoRedoEnabled(old->isUndoRedoEnabled());
    doc->setModified(false);
    step();

    const QString lineBreak = runs.lineBreak();
    m_lineBreak = lineBreak.isEmpty() ? kCrLf : lineBreak;
    m_mayHaveJoins = joins;
    if (lengths)
        m_bar->expect(doc.get(), std::move(*lengths));
    // The first document belongs to Qt, which deletes it; those made here are deleted here.
    const std::unique_ptr<const QTextDocument> ours(old->parent() == this ? old : nullptr);
    setDocument(doc.release());
    // Qt hands the old typing format on to the new document; start it plain.
    setCurrentCharFormat(QTextCharFormat());
}

bool RichTextBox::insertPieces(QTextCursor &cursor, const QString &text,
                               const QTextCharFormat &format)
{
    QTextCharFormat join = format;
    join.setProperty(kJoinProperty, true);
    const QTextBlockFormat block = cursor.blockFormat();
    TextRuns runs(text);
    bool joins = false;
    for (Run run; runs.next(run);) {
        cursor.insertText(run.text, format);
        if (run.join)
            cursor.insertBlock(block, join);
        joins = joins || run.join;
    }
    return joins;
}

void RichTextBox::mergeFormat(const QTextCharFormat &format)
{
    mergeCurrentCharFormat(format);
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

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    if (!source->hasText())
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    if (insertPieces(cursor, source->text(), withoutJoin(cursor.charFormat())))
        m_mayHaveJoins = true;
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData *RichTextBox::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    data->setText(plainText(textCursor(), u"\n"));
    return data;
}

void RichTextBox::keyPressEvent(QKeyEvent *event)
{
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
        if (backspace && joinBefore && block.previous().length() > 1) {
            QTextCursor edit(block);
            edit.movePosition(QTextCursor::PreviousCharacter);
            edit.deletePreviousChar();
            ensureCursorVisible();
            return true;
        }
        if (event == QKeySequence::Delete && joinAfter && block.next().length() > 1) {
            QTextCursor edit(block.next());
            edit.deleteChar();
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
