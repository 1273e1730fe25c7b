#include "support/Modal.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <memory>

namespace vellumo::test {

std::shared_ptr<bool> whenModal(std::function<void(QWidget *)> act, int timeoutMs)
{
    auto ran = std::make_shared<bool>(false);
    auto timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            *ran = true;
            QPointer<QWidget> left = modal;
            act(modal);
            // A check that failed inside `act` returns before it closes the
            // window, which would leave the modal loop, and the test, hanging.
            if (left && left->isVisible()) {
                if (auto *dialog = qobject_cast<QDialog *>(left.data()))
                    dialog->reject();
                else
                    left->close();
            }
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
    return ran;
}

void verifyNoWindowLeft()
{
    QStringList shown;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        shown << QStringLiteral("%1 \"%2\" (%3)")
                     .arg(QString::fromLatin1(window->metaObject()->className()),
                          window->windowTitle(), window->objectName());
        window->close(); // so that the next test starts clean either way
    }
    if (!shown.isEmpty())
        QTest::qFail(qPrintable(QStringLiteral("still shown: ") + shown.join(QStringLiteral(", "))),
                     __FILE__, __LINE__);
}

void pressKey(QWidget *window, int key, Qt::KeyboardModifiers modifiers)
{
    QWidget *target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

} // namespace vellumo::test
