#include "platform/ProgramStart.h"

#include "platform/Failure.h"
#include "platform/FileSearch.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace vellumo {

void DetachedProgramStart::start(const QString &path, int showState)
{
    // A zero would end the path early and start another program.
    if (path.contains(QChar(0)))
        throw Failure(QStringLiteral("Cannot start \"%1\": not a program path").arg(path));
    QProcess process;
    // The member form takes the program as it is: a static start would split it at blanks.
    process.setProgram(systemPath(path));
    process.setArguments({});
#ifdef Q_OS_WIN
    process.setCreateProcessArgumentsModifier([showState](QProcess::CreateProcessArguments *args) {
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = static_cast<WORD>(showState);
    });
#else
    Q_UNUSED(showState);
#endif
    if (!process.startDetached())
        throw Failure(QStringLiteral("Cannot start \"%1\": %2").arg(path, process.errorString()));
}

} // namespace vellumo
