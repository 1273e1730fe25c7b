// Copy, cut, paste, undo and redo, which on a big text are made in steps that let the window
// answer, and what the selection offers to other programs.
#include "platform/Failure.h"
#include "platform/textarea/EstimatedScrollBar.h"
#include "platform/textarea/RichTextBox.h"
#include "platform/textarea/StepSize.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <limits>
#include <memory>

namespace vellumo {

namespace {

// The most a step of a big edit takes, an edit and an undo step of its own: some 20 ms of Qt's
// work in a text of a gigabyte, more as it grows. An edit of fewer characters is one step.
constexpr qsizetype kStepChars = qsizetype(1) << 21;

const QString kPlainText = QStringLiteral("text/plain");

class NoProgress final : public Progress {
public:
    void step(double) override {}
    void lockIn(const QString &) override {}
};

} // namespace

// The selection's text, made when another program asks for it: X hands every new selection to
// its primary selection, and most are never pasted. It holds while the text is as it was, and
// offers nothing once the text has changed.
class SelectionOffer final : public QMimeData {
public:
    SelectionOffer(const RichTextBox *area, const QTextCursor &selection)
        : revision(area->document()->revision()), m_area(area), m_document(area->document()),
          m_start(selection.selectionStart()), m_end(selection.selectionEnd())
    {
    }

    QStringList formats() const override
    {
        return valid() || !m_kept.isNull() ? QStringList{kPlainText} : QStringList();
    }
    // Made now, while the text is as it was.
    void keep() const
    {
        if (valid())
            m_kept = text();
    }

    int revision;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        if (mimeType != kPlainText)
            return {};
        if (!m_kept.isNull())
            return m_kept;
        if (!valid())
            return {};
        QTextCursor range(m_document);
        range.setPosition(m_start);
        range.setPosition(m_end, QTextCursor::KeepAnchor);
        return m_area->plainText(range, u"\n");
    }

private:
    bool valid() const
    {
        return m_area && m_document && m_area->document() == m_document &&
               m_document->revision() == revision;
    }

    QPointer<const RichTextBox> m_area;
    QPointer<QTextDocument> m_document;
    int m_start;
    int m_end;
    mutable QString m_kept;
};

QMimeData *RichTextBox::createMimeDataFromSelection() const
{
    auto *offer = new SelectionOffer(this, textCursor());
    m_offer = offer;
    return offer;
}

// Formatting leaves the plain text as it was: what the selection offers still holds.
void RichTextBox::carryOfferOver(int revisionBefore)
{
    if (m_offer && m_offer->revision == revisionBefore)
        m_offer->revision = document()->revision();
}

void RichTextBox::dropEvent(QDropEvent *event)
{
    // Text moved within the area is taken out before it goes in: the offer keeps it first.
    if (const auto *offer = dynamic_cast<const SelectionOffer *>(event->mimeData()))
        offer->keep();
    const QScopedValueRollback dropping(m_dropping, true);
    QPlainTextEdit::dropEvent(event);
}

void RichTextBox::contextMenuEvent(QContextMenuEvent *event)
{
    // Qt's menu calls Qt's own edits: its items for ours take their places.
    const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    const std::pair<const char *, void (RichTextBox::*)()> ours[] = {
        {"edit-undo", &RichTextBox::undo},   {"edit-redo", &RichTextBox::redo},
        {"edit-cut", &RichTextBox::cut},     {"edit-copy", &RichTextBox::copy},
        {"edit-paste", &RichTextBox::paste}, {"edit-delete", &RichTextBox::deleteSelection}};
    for (const auto &[name, slot] : ours) {
        QAction *theirs = menu->findChild<QAction *>(QLatin1String(name));
        if (!theirs)
            continue;
        auto *mine = new QAction(theirs->text(), menu.get());
        mine->setObjectName(theirs->objectName());
        mine->setEnabled(theirs->isEnabled());
        connect(mine, &QAction::triggered, this, slot);
        menu->insertAction(theirs, mine);
        menu->removeAction(theirs);
    }
    menu->exec(event->globalPos());
}

void RichTextBox::deleteSelection()
{
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    keyPressEvent(&key);
}

void RichTextBox::run(const QString &command, const QString &label, const Work &work)
{
    m_bar->hold(true);
    const auto release = qScopeGuard([this] { m_bar->hold(false); });
    if (m_runner) {
        m_runner(command, label, work);
        return;
    }
    NoProgress none;
    work(none);
}

QString RichTextBox::copyText(const QTextCursor &range, const Steps &steps) const
{
    const qsizetype total = std::max(1, range.selectionEnd() - range.selectionStart());
    QString text;
    text.reserve(total);
    forEachPart(range, u"\n", [&](QStringView part) {
        text += part;
        steps(double(text.size()) / double(total));
        return true;
    });
    return text;
}

void RichTextBox::copy()
{
    const QTextCursor range = textCursor();
    if (!range.hasSelection())
        return;
    run(QStringLiteral("Copy"), QStringLiteral("Copying the text\u2026"), [&](Progress &progress) {
        auto data = std::make_unique<QMimeData>();
        data->setText(copyText(range, progress.stage(0, 1)));
        toClipboard(std::move(data));
    });
}

void RichTextBox::cut()
{
    if (isReadOnly() || !textCursor().hasSelection())
        return;
    run(QStringLiteral("Cut"), QStringLiteral("Cutting the text\u2026"), [&](Progress &progress) {
        QTextCursor range = textCursor();
        auto data = std::make_unique<QMimeData>();
        data->setText(copyText(range, progress.stage(0, 0.5)));
        inGroup(progress, [&] { removeInSteps(range, progress.stage(0.5, 1)); });
        setTextCursor(range);
        // Only now: a cancelled cut leaves the clipboard as it was.
        toClipboard(std::move(data));
    });
}

void RichTextBox::toClipboard(std::unique_ptr<QMimeData> data)
{
    // What it held may be a big text copied before: freed beside the window.
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->ownsClipboard())
        if (const QMimeData *old = clipboard->mimeData())
            m_letGo(old->text());
    clipboard->setMimeData(data.release());
}

void RichTextBox::paste()
{
    if (const QMimeData *source = QGuiApplication::clipboard()->mimeData())
        insertFromMimeData(source);
}

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    if (isReadOnly() || !source->hasText())
        return;
    if (m_dropping) {
        // Inside Qt's own edit of the drop, which makes it one step.
        replaceSelection(source->text(), nullptr);
        return;
    }
    run(QStringLiteral("Paste"), QStringLiteral("Pasting the text\u2026"),
        [&](Progress &progress) { replaceSelection(source->text(), &progress); });
}

qint64 RichTextBox::capacity() const
{
    return std::numeric_limits<int>::max() - 1;
}

void RichTextBox::replaceSelection(const QString &text, Progress *progress)
{
    QTextCursor cursor = textCursor();
    const qint64 adding = text.size();
    if (m_taken + adding > capacity())
        throw Failure(QStringLiteral("Cannot paste %1 characters: the text area has taken in %2 "
                                     "since it was loaded or emptied, as it keeps what was "
                                     "replaced for Undo, and it takes at most %3. Reset empties "
                                     "it.")
                          .arg(adding)
                          .arg(m_taken)
                          .arg(capacity()));
    m_taken += adding;
    // In the format of the text before it, once the selection is gone, as typing is.
    const auto insert = [&](const Steps &steps) {
        const QTextCharFormat format = withoutJoin(cursor.charFormat());
        m_mayHaveJoins = insertPieces(cursor, text, format, steps, kStepChars) || m_mayHaveJoins;
    };
    const qsizetype chars = adding + cursor.selectionEnd() - cursor.selectionStart();
    if (!progress || chars <= kStepChars) {
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        insert({});
        cursor.endEditBlock();
    } else {
        const double removing = double(chars - adding) / double(chars);
        inGroup(*progress, [&] {
            removeInSteps(cursor, progress->stage(0, removing));
            insert(progress->stage(removing, 1));
        });
    }
    setTextCursor(cursor);
    ensureCursorVisible();
}

// From the end backwards, each part whole blocks and an edit of its own, as the blocks after a
// part only move.
void RichTextBox::removeInSteps(QTextCursor &range, const Steps &steps)
{
    const int start = range.selectionStart();
    const int end = range.selectionEnd();
    StepSize size(kStepChars);
    for (int to = end; to > start;) {
        const int from = std::max(
            start,
            document()->findBlock(int(std::max<qsizetype>(start, to - size.chars()))).position());
        range.beginEditBlock(); // in which the cursor lays out no block for its place
        range.setPosition(to);
        range.setPosition(from, QTextCursor::KeepAnchor);
        range.removeSelectedText();
        range.endEditBlock();
        size.took(to - from);
        to = from;
        if (steps)
            steps(double(end - to) / double(end - start));
        size.restart();
    }
    range.setPosition(start);
}

void RichTextBox::inGroup(Progress &progress, const std::function<void()> &edit)
{
    QTextDocument *doc = document();
    const int from = doc->availableUndoSteps();
    try {
        const QScopedValueRollback grouping(m_inGroup, true);
        edit();
    } catch (...) {
        // Cancel, or a failure: the steps made are taken back while the window paints.
        progress.lockIn(QStringLiteral("Putting the text back\u2026"));
        QTextCursor cursor = textCursor();
        const double made = std::max(1, doc->availableUndoSteps() - from);
        while (doc->availableUndoSteps() > from) {
            doc->undo(&cursor);
            progress.step(1 - (doc->availableUndoSteps() - from) / made);
        }
        doc->clearUndoRedoStacks(QTextDocument::RedoStack);
        setTextCursor(cursor);
        throw;
    }
    if (doc->availableUndoSteps() > from)
        m_groups.push_back({from, doc->availableUndoSteps()});
}

// Qt formats a selection in one go, a fifth of a second a gigabyte: a big one goes in steps,
// undone as one.
bool RichTextBox::formatInSteps(const QTextCharFormat &format)
{
    const QTextCursor selection = textCursor();
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    if (end - start <= kStepChars)
        return false;
    run(QStringLiteral("Format"), QStringLiteral("Formatting the text\u2026"),
        [&](Progress &progress) {
            inGroup(progress, [&] {
                QTextCursor part(document());
                for (int from = start; from < end;) {
                    const int to = std::min<qsizetype>(end, qsizetype(from) + kStepChars);
                    // Within an edit block, the cursor lays out no block for its place.
                    part.beginEditBlock();
                    part.setPosition(from);
                    part.setPosition(to, QTextCursor::KeepAnchor);
                    part.mergeCharFormat(format);
                    part.endEditBlock();
                    from = to;
                    progress.step(double(from - start) / double(end - start));
                }
            });
        });
    return true;
}

// A step added where groups were (after an undo) takes their place in the undo history.
void RichTextBox::dropGroupsAbove()
{
    if (m_inGroup)
        return;
    const int state = document()->availableUndoSteps();
    m_groups.erase(std::remove_if(m_groups.begin(), m_groups.end(),
                                  [state](const UndoGroup &g) { return g.to >= state; }),
                   m_groups.end());
}

void RichTextBox::undoGroup(const UndoGroup &group, bool undo, Progress &progress)
{
    QTextDocument *doc = document();
    QTextCursor cursor = textCursor();
    // Step by step to the other end of the group, which is a state of the undo history.
    const auto toward = [&](int target, const Steps &steps) {
        const int start = doc->availableUndoSteps();
        while (doc->availableUndoSteps() != target) {
            target < start ? doc->undo(&cursor) : doc->redo(&cursor);
            steps(double(std::abs(doc->availableUndoSteps() - start)) / std::abs(target - start));
        }
    };
    try {
        toward(undo ? group.from : group.to, progress.stage(0, 1));
    } catch (...) {
        progress.lockIn(undo ? QStringLiteral("Putting the text back\u2026")
                             : QStringLiteral("Taking the text out again\u2026"));
        toward(undo ? group.to : group.from, [&](double done) { progress.step(done); });
        setTextCursor(cursor);
        throw;
    }
    setTextCursor(cursor);
    ensureCursorVisible();
}

void RichTextBox::undo()
{
    QTextDocument *doc = document();
    const int state = doc->availableUndoSteps();
    const auto group = std::find_if(m_groups.begin(), m_groups.end(),
                                    [state](const UndoGroup &g) { return g.to == state; });
    if (group == m_groups.end()) {
        QPlainTextEdit::undo();
        return;
    }
    const UndoGroup g = *group;
    run(QStringLiteral("Undo"), QStringLiteral("Undoing\u2026"),
        [&](Progress &progress) { undoGroup(g, true, progress); });
}

void RichTextBox::redo()
{
    QTextDocument *doc = document();
    const int state = doc->availableUndoSteps();
    const auto group = std::find_if(m_groups.begin(), m_groups.end(), [&](const UndoGroup &g) {
        return g.from == state && doc->isRedoAvailable();
    });
    if (group == m_groups.end()) {
        QPlainTextEdit::redo();
        return;
    }
    const UndoGroup g = *group;
    run(QStringLiteral("Redo"), QStringLiteral("Redoing\u2026"),
        [&](Progress &progress) { undoGroup(g, false, progress); });
}

bool RichTextBox::replacesSelection(QKeyEvent *event, bool &onlyRemoves) const
{
    const QTextCursor cursor = textCursor();
    if (isReadOnly() || cursor.selectionEnd() - cursor.selectionStart() <= kStepChars)
        return false;
    onlyRemoves = event == QKeySequence::Delete || event == QKeySequence::DeleteStartOfWord ||
                  event == QKeySequence::DeleteEndOfWord ||
                  event == QKeySequence::DeleteEndOfLine ||
                  (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier));
    const QString text = event->text();
    const bool types = !text.isEmpty() && (text.front().isPrint() || text.front() == u'\t') &&
                       !(event->modifiers() & Qt::ControlModifier);
    return onlyRemoves || types || event == QKeySequence::InsertParagraphSeparator ||
           event == QKeySequence::InsertLineSeparator;
}

// What the document is about to show: its undo history is where groups are kept.
void RichTextBox::adopt(QTextDocument *doc)
{
    m_groups.clear();
    m_taken = doc->characterCount();
    connect(doc, &QTextDocument::undoCommandAdded, this, &RichTextBox::dropGroupsAbove);
}

} // namespace vellumo
