#include "support/Spooler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <pwd.h>
#include <unistd.h>

namespace vellumo::test {

ProgramRun runProgram(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    ProgramRun result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    return result;
}

bool poll(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    for (clock.start(); !done(); QTest::qWait(100))
        if (clock.elapsed() > timeoutMs)
            return false;
    return true;
}

QString missingTools(const QStringList &tools)
{
    QStringList missing;
    for (const QString &tool : tools)
        if (QStandardPaths::findExecutable(tool).isEmpty())
            missing << tool;
    return missing.isEmpty() ? QString() : missing.join(u", ") + QStringLiteral(" not installed");
}

Spooler findSpooler(const QStringList &tools)
{
    Spooler spooler;
    if (const QString missing =
            missingTools(QStringList{"lpstat", "lpadmin", "cupsreject"} + tools);
        !missing.isEmpty()) {
        spooler.problem = missing;
        return spooler;
    }
    if (!runProgram(QStringLiteral("lpstat"), {QStringLiteral("-r")})
             .out.contains(QLatin1String("scheduler is running"))) {
        spooler.problem = QStringLiteral("the CUPS scheduler is not running");
        return spooler;
    }
    const QString dflt = runProgram(QStringLiteral("lpstat"), {QStringLiteral("-d")}).out;
    const auto match = QRegularExpression(QStringLiteral("destination: (\\S+)")).match(dflt);
    if (!match.hasMatch()) {
        spooler.problem = QStringLiteral("there is no default print queue");
        return spooler;
    }
    spooler.queue = match.captured(1);
    if (!runProgram(QStringLiteral("lpstat"), {QStringLiteral("-v"), spooler.queue})
             .out.contains(QLatin1String("cups-pdf:/")))
        spooler.problem =
            QStringLiteral("the default queue %1 is not a CUPS-PDF queue").arg(spooler.queue);
    return spooler;
}

QStringList printJobs(const QString &queue, const char *which)
{
    QStringList arguments{QStringLiteral("-W"), QString::fromLatin1(which), QStringLiteral("-o")};
    if (!queue.isEmpty())
        arguments << queue;
    QStringList ids;
    const QStringList lines =
        runProgram(QStringLiteral("lpstat"), arguments).out.split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines)
        ids << line.section(u' ', 0, 0);
    return ids;
}

namespace {

// Where CUPS-PDF puts the jobs of this user.
QStringList cupsPdfFolders()
{
    QString out = QStringLiteral("${HOME}/PDF");
    QString anonymous = QStringLiteral("/var/spool/cups-pdf/ANONYMOUS");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly)) {
        const QStringList lines = QString::fromUtf8(conf.readAll()).split(u'\n');
        for (const QString &line : lines) {
            if (line.startsWith(QLatin1String("Out ")))
                out = line.mid(4).trimmed();
            if (line.startsWith(QLatin1String("AnonDirName ")))
                anonymous = line.mid(12).trimmed();
        }
    }
    if (const passwd *me = ::getpwuid(::getuid())) {
        out.replace(QLatin1String("${HOME}"), QString::fromLocal8Bit(me->pw_dir));
        out.replace(QLatin1String("${USER}"), QString::fromLocal8Bit(me->pw_name));
    }
    return {out, anonymous};
}

} // namespace

QString jobPdf(const QString &job, const QString &title)
{
    const QString number = job.section(u'-', -1);
    for (const QString &folder : cupsPdfFolders()) {
        const QStringList found = QDir(folder).entryList(
            {QStringLiteral("job_%1-%2.pdf").arg(number, title)}, QDir::Files);
        if (!found.isEmpty())
            return QDir(folder).filePath(found.first());
    }
    return {};
}

} // namespace vellumo::test
