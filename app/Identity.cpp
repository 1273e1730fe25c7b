#include "app/Identity.h"

#include "platform/forms/FormLayout.h"

#include <QApplication>
#include <QIcon>

namespace vellumo {

void applyIdentity(QApplication &app)
{
    QApplication::setApplicationName(QString::fromLatin1(kProgramName));
    QApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    QApplication::setDesktopFileName(QStringLiteral("vellumo"));
    FormBuilder::initResources();
    app.setWindowIcon(pictureIcon(":/icons/vellumo"));
}

} // namespace vellumo
