// Start-up figure, the floor: a minimal Qt Widgets program that shows an
// empty window of the given size and ends at its first paint.
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {
class QuitAfterPaint : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            // Ends as Vellumo's side does, without closing the window first.
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    const QStringList args = app.arguments();
    window.resize(args.size() > 2 ? args[1].toInt() : 640, args.size() > 2 ? args[2].toInt() : 480);
    QuitAfterPaint quit;
    window.installEventFilter(&quit);
    window.show();
    return app.exec();
}
