#pragma once

#include <QMap>
#include <QVariant>

class QPlainTextEdit;

namespace vellumo::test {

// The format properties of every character (line breaks excluded), by position.
using CharFormats = QMap<int, QMap<int, QVariant>>;
CharFormats charFormats(const QPlainTextEdit &edit);

// Selects [from, to) in the editor, as a user's drag would.
void selectRange(QPlainTextEdit &edit, int from, int to);

} // namespace vellumo::test
