#include "app/Identity.h"
#include "app/SystemServices.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    vellumo::applyIdentity(app);
    // Declared after the application, so gone before it.
    const vellumo::SystemServices system;
    vellumo::frmMain window(system.services());
    window.show();
    return app.exec();
}
