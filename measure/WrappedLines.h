#pragma once

#include <QtGlobal>
#include <vector>

class QPlainTextEdit;

namespace vellumo::measure {

// The wrapped lines before each block and in all, laid out here block by block at the area's
// width, apart from the area and its scroll bar: the truth a scroll bar is judged by.
std::vector<qint64> wrappedLinesBefore(const QPlainTextEdit &area);

} // namespace vellumo::measure
