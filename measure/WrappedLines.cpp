#include "measure/WrappedLines.h"

#include <QAbstractScrollArea>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace vellumo::measure {

std::vector<qint64> wrappedLinesBefore(const QPlainTextEdit &area)
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

} // namespace vellumo::measure
