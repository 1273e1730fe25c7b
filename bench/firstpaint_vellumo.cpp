// Start-up figure, Vellumo's side: the program as main() starts it, ending
// as soon as the main window has painted for the first time.
#include "app/Identity.h"
#include "app/SystemServices.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QEvent>
#include <QTextStream>

namespace {
// The window paints as its widgets paint, each in its own event.
class QuitAfterPaint : public QObject {
public:
    explicit QuitAfterPaint(QWidget *window) : m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Paint && widget && widget->window() == m_window && !m_done) {
            m_done = true;
            // quit() would first close the windows, and Vellumo's asks before it closes.
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_window;
    bool m_done = false;
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    vellumo::applyIdentity(app);
    const vellumo::SystemServices system;
    vellumo::frmMain window(system.services());
    QuitAfterPaint quit(&window);
    app.installEventFilter(&quit);
    window.show();
    const int code = app.exec();
    // The floor's window is made this size.
    if (app.arguments().contains(QStringLiteral("--print-size")))
        QTextStream(stdout) << window.width() << ' ' << window.height() << '\n';
    return code;
}
