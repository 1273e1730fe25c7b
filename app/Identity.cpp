#include "app/Identity.h"

#include "platform/FormLayout.h"

#include <QApplication>
#include <QIcon>

namespace vellumo {

void applyIdentity(QApplication &app)
{
    QApplication::setApplicationName(QString::fromLatin1(kProgramName));
    QApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    QApplication::setDesktopFileName(QStringLiteral("vellumo"));
    FormBuilder::initResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/vellumo-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/vellumo-32.png"), QSize(32, 32));
    app.setWindowIcon(icon);
}

} // namespace vellumo
