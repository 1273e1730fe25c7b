#pragma once

#include "support/SkipOrFail.h"

#include <QString>
#include <QStringList>
#include <functional>

// The CUPS spooler as the printing tests find it, from the outside, through
// the CUPS command-line tools, and the running of programs and waiting on
// them. Only Qt Core and Test: the end-to-end tests, which know nothing of the
// program's code, compile this in as well.

namespace vellumo::test {

struct ProgramRun {
    int exitCode = -1; // -1 when it crashed or was still running at the timeout
    QString out;       // standard output
};

// Runs a program to its end, killing it when the timeout is up.
ProgramRun runProgram(const QString &program, const QStringList &arguments, int timeoutMs = 120000);

// Whether `done` comes true within the timeout, asked every tenth of a second (each ask may
// run a program) with the events handled in between.
bool poll(const std::function<bool()> &done, int timeoutMs = 15000);

// "a, b not installed" for the tools not on the PATH; empty when all are.
QString missingTools(const QStringList &tools);

struct Spooler {
    QString queue;   // the default queue
    QString problem; // why nothing can be printed and read back here; empty when it can
};

// The running CUPS scheduler with a default CUPS-PDF queue, as
// scripts/spooler.sh sets it up; `tools` are the further programs the caller
// needs, a problem when missing.
Spooler findSpooler(const QStringList &tools = {});

// Every job the queue (empty: every queue) has seen, as "PDF-12": all of
// them, or those `which` names for lpstat -W ("not-completed").
QStringList printJobs(const QString &queue = QString(), const char *which = "all");

// The PDF that CUPS-PDF made of a job ("PDF-12" -> "job_12-<title>.pdf"),
// or empty while there is none.
QString jobPdf(const QString &job, const QString &title = QStringLiteral("*"));

} // namespace vellumo::test

// Ends the current test when the spooler found cannot print.
#define REQUIRE_SPOOLER(spooler)                                                                   \
    do {                                                                                           \
        if (!(spooler).problem.isEmpty())                                                          \
            SKIP_OR_FAIL(QStringLiteral("Cannot print on the spooler: ") + (spooler).problem);     \
    } while (false)
