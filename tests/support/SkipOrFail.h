#pragma once

#include <QString>
#include <QTest>

namespace vellumo::test {

// scripts/test sets VELLUMO_NO_SKIPS=1: there a case that needs root, a mount,
// a tool or a spooler must run, so what would skip fails instead. Run alone, a
// test skips and says why.
inline bool skipsAreFailures()
{
    return qEnvironmentVariableIntValue("VELLUMO_NO_SKIPS") == 1;
}

} // namespace vellumo::test

// Ends the current test: a failure under scripts/test, a skip elsewhere.
#define SKIP_OR_FAIL(why)                                                                          \
    do {                                                                                           \
        const QString reason_ = (why);                                                             \
        if (::vellumo::test::skipsAreFailures())                                                   \
            QFAIL(qPrintable(reason_));                                                            \
        QSKIP(qPrintable(reason_ + QStringLiteral(" (scripts/test provides it)")));                \
    } while (false)
