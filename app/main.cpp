#include "app/Identity.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    vellumo::applyIdentity(app);
    vellumo::frmMain window(vellumo::Services::system());
    window.show();
    return app.exec();
}
