#include "platform/system/ProgramStart.h"

#include "platform/Failure.h"
#include "platform/system/FileSearch.h"

#include <QProcess>

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
    // A program here opens its windows as it sees fit; nothing passes a show state on to it.
    Q_UNUSED(showState);
    if (!process.startDetached())
        throw Failure(QStringLiteral("Cannot start \"%1\": %2").arg(path, process.errorString()));
}

} // namespace vellumo
