#include "support/TextFormats.h"

#include <QPlainTextEdit>
#include <QTextBlock>

namespace vellumo::test {

CharFormats charFormats(const QPlainTextEdit &edit)
{
    CharFormats out;
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            for (int i = 0; i < f.length(); ++i)
                out[f.position() + i] = f.charFormat().properties();
        }
    }
    return out;
}

void selectRange(QPlainTextEdit &edit, int from, int to)
{
    QTextCursor c(edit.document());
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    edit.setTextCursor(c);
}

} // namespace vellumo::test
