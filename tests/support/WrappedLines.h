#pragma once

#include <QAbstractScrollArea>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <vector>

namespace vellumo::test {

// The wrapped lines before each block and in all, laid out here block by block at the area's
// width, apart from the area and its scroll bar: the truth a scroll bar is judged by.
inline std::vector<qint64> wrappedLinesBefore(const QPlainTextEdit &area)
{
    const QTextDocument *doc = area.document();
    const qreal width = area.viewport()->width() - 2 * doc->documentMargin();
    std::vector<qint64> before{0};
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        QTextLayout layout(block.text(), doc->defaultFont());
        layout.setTextOption(doc->defaultTextOption());
        layout.setFormats(block.textFormats());
        layout.beginLayout();
        int lines = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            ++lines;
        }
        layout.endLayout();
        before.push_back(before.back() + lines);
    }
    return before;
}

} // namespace vellumo::test
