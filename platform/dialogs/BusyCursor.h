#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace vellumo {

// A busy cursor for work that takes longer than a moment (loading, saving or
// printing a big text), for as long as the object lives.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace vellumo
