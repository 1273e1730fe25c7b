#include "support/Modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <memory>

namespace vellumo::test {

std::shared_ptr<bool> whenModal(std::function<void(QWidget *)> act)
{
    auto ran = std::make_shared<bool>(false);
    auto timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, flag = std::weak_ptr(ran)] {
        const std::shared_ptr<bool> kept = flag.lock();
        QWidget *modal = QApplication::activeModalWidget();
        if (kept && !(modal && modal->isVisible()))
            return;
        timer->stop();
        timer->deleteLater();
        if (!kept)
            return; // the test that waited for it has let go
        *kept = true;
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

QString asSeen(const QWidget *control)
{
    QString seen = control->objectName();
    if (auto *button = qobject_cast<const QAbstractButton *>(control))
        seen += QStringLiteral(" '%1'").arg(button->text());
    else if (auto *frame = qobject_cast<const QGroupBox *>(control))
        seen += QStringLiteral(" '%1'").arg(frame->title());
    else if (auto *label = qobject_cast<const QLabel *>(control))
        seen += QStringLiteral(" '%1'").arg(label->text());
    if (!control->isVisible() || !control->isEnabled() || control->testAttribute(Qt::WA_SetFont))
        seen += QStringLiteral(" (hidden, disabled or with a font of its own)");
    return seen;
}

} // namespace vellumo::test
