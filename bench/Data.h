#pragma once
// The files the figures are measured on, and the floors' own reading and writing.

#include <QByteArray>
#include <QString>

namespace vellumo::bench {

enum class Kind { Lines, OneLine, AllBytes };

constexpr int kLineBytes = 80; // 78 characters and CR LF

// Made once per kind and size, and kept in `dir` for the next run.
QString dataFile(const QString &dir, Kind kind, qint64 size);

QString decodeFloor(const QByteArray &bytes);
QByteArray encodeFloor(const QString &text);

} // namespace vellumo::bench
