#include "platform/dialogs/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace vellumo {

namespace {
// The icon tells a sighted user how grave the message is; a screen reader
// says that by the icon's name.
void nameIcon(QMessageBox &box, const QString &name)
{
    for (QLabel *label : box.findChildren<QLabel *>())
        if (!label->pixmap().isNull())
            label->setAccessibleName(name);
}
} // namespace

int QtMessageBox::show(QWidget *owner, const QString &prompt, int style, const QString &title)
{
    QMessageBox box(owner);
    box.setWindowTitle(title.isEmpty() ? QApplication::applicationName() : title);
    box.setText(prompt);
    box.setTextFormat(Qt::PlainText);
    switch (style & 0x70) {
    case MsgStyle::Critical:
        box.setIcon(QMessageBox::Critical);
        nameIcon(box, QStringLiteral("Error"));
        break;
    case MsgStyle::Exclamation:
        box.setIcon(QMessageBox::Warning);
        nameIcon(box, QStringLiteral("Warning"));
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((style & 0x7) == MsgStyle::YesNo) {
        QPushButton *yes = box.addButton(QMessageBox::Yes);
        QPushButton *no = box.addButton(QMessageBox::No);
        box.setDefaultButton((style & MsgStyle::DefaultButton2) ? no : yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? kAnswerYes : kAnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return kAnswerOk;
}

} // namespace vellumo
