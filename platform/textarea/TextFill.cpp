// The area's text put in whole, or a text inserted, as runs of grouped lines.
#include "platform/textarea/EstimatedScrollBar.h"
#include "platform/textarea/RichTextBox.h"
#include "platform/textarea/RunsAhead.h"
#include "platform/textarea/StepSize.h"

#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <system_error>

namespace vellumo {

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
    const qint64 size = text.bytes.size();
    // Their room is taken at once: the lengths never grow by doubling, and what a load of a file
    // that size can hold is known before it starts.
    lengths.mostLines = size / kBytesPerNotedLine + 1;
    lengths.lengths.reserve(size_t(lengths.mostLines));
    TextRuns runs(text, &lengths, read ? 0 : size);
    // Reading is about a fifth of the work: a text that arrives before its first run (a long
    // line) shows progress all the same.
    std::atomic<qint64> arrivedBytes(read ? 0 : size);
    const Steps weighed = [&](double done) {
        if (steps)
            steps(0.2 * double(arrivedBytes.load()) / double(std::max<qint64>(size, 1)) +
                  0.8 * done);
    };
    fill(
        [&](const Deliver &deliver) {
            Run run;
            const auto arrived = [&](qint64 count) {
                arrivedBytes = count;
                runs.arrive(count);
                while (runs.next(run))
                    deliver(run);
            };
            if (read)
                read(arrived);
            arrived(text.bytes.size());
        },
        runs, weighed, &lengths);
}

RichTextBox::~RichTextBox() = default;

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
    QTextBlock laidOut = cursor.block(); // the blocks before it have their layouts
    const Deliver take = [&](Run &run) {
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
    };
    {
        std::optional<RunsAhead> ahead;
        try {
            ahead.emplace(make);
        } catch (const std::system_error &) {
            // No thread to be had (the process has all it may start): the runs are made here,
            // and each goes in as it comes.
        }
        if (!ahead)
            make(take);
        for (Run run; ahead && ahead->next(run, step);)
            take(run);
    }
    cursor.endEditBlock();
    // Laid out only once it is whole: a layout would hear of every part as it went in.
    doc->setDocumentLayout(new QPlainTextDocumentLayout(doc.get()));
    doc->setUndoRedoEnabled(old->isUndoRedoEnabled());
    doc->setModified(false);
    step();

    const QString lineBreak = runs.lineBreak();
    m_lineBreak = lineBreak.isEmpty() ? QStringLiteral("\r\n") : lineBreak;
    m_mayHaveJoins = joins;
    if (lengths)
        m_bar->expect(doc.get(), std::move(*lengths));
    adopt(doc.get());
    // The first document belongs to Qt, which deletes it; those made here are deleted here.
    std::unique_ptr<QTextDocument> ours(old->parent() == this ? document() : nullptr);
    setDocument(doc.release());
    if (ours) {
        // Nothing reaches it any more but the thread that frees it.
        ours->setParent(nullptr);
        ours->moveToThread(nullptr);
        m_letGo(std::move(ours));
    }
    // Qt hands the old typing format on to the new document; start it plain.
    setCurrentCharFormat(QTextCharFormat());
}

bool RichTextBox::insertPieces(QTextCursor &cursor, const QString &text,
                               const QTextCharFormat &format, const Steps &steps,
                               qsizetype stepChars)
{
    QTextCharFormat join = format;
    join.setProperty(kJoinProperty, true);
    const QTextBlockFormat block = cursor.blockFormat();
    TextRuns runs(text);
    bool joins = false;
    // Runs go in together up to a step's worth: Qt lays out a block after each insertion.
    QString step;
    StepSize size(stepChars);
    const auto insert = [&](bool joined, double done) {
        cursor.beginEditBlock();
        cursor.insertText(step, format);
        if (joined)
            cursor.insertBlock(block, join);
        cursor.endEditBlock();
        size.took(step.size());
        step.resize(0); // keeps its room for the next
        if (steps)
            steps(done);
        size.restart();
    };
    Run run;
    while (runs.next(run)) {
        step += run.text;
        joins = joins || run.join;
        if (run.join || step.size() >= size.chars())
            insert(run.join, run.done);
    }
    if (!step.isEmpty())
        insert(false, 1);
    return joins;
}

} // namespace vellumo
