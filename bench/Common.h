#pragma once
// What the suite and its children both lean on.

#include <QByteArray>
#include <QString>
#include <vector>

namespace vellumo::bench {

double nowMs();
qint64 statusKb(const char *field);
// Ends the process: a figure that cannot be measured must not print a number.
[[noreturn]] void fail(const QString &why);
QByteArray readFile(const QString &path);
double median(std::vector<double> v);

} // namespace vellumo::bench
