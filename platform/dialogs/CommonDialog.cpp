#include "platform/dialogs/CommonDialog.h"

#include "platform/BgrColor.h"
#include "platform/Failure.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QPrintDialog>

namespace vellumo {

CommonDialog::CommonDialog(DialogPresenter &presenter, QWidget *owner)
    : m_presenter(presenter), m_owner(owner)
{
    const QFont standard = QApplication::font();
    m_font.name = standard.family();
    m_font.size = float(standard.pointSizeF());
}

QString CommonDialog::dialogTitle() const
{
    return QStringLiteral("Please select where:");
}

QString CommonDialog::initialFolder() const
{
    return QDir::rootPath();
}

QString CommonDialog::filter() const
{
    return QStringLiteral("*.txt");
}

QString CommonDialog::defaultExtension() const
{
    return QStringLiteral(".txt");
}

bool CommonDialog::showFile(bool save)
{
    FileRequest request{dialogTitle(), initialFolder(), filter(), defaultExtension().mid(1),
                        m_fileName};
    QString chosen;
    const bool accepted = save ? m_presenter.saveFile(m_owner, request, chosen)
                               : m_presenter.openFile(m_owner, request, chosen);
    m_fileName = accepted ? chosen : QString();
    if (m_fileName.size() > kMaxFileName) {
        const QString tooLong = QDir::toNativeSeparators(m_fileName);
        m_fileName.clear();
        throw Failure(QStringLiteral("The file name \"%1\" is longer than %2 characters.")
                          .arg(tooLong)
                          .arg(kMaxFileName));
    }
    return accepted;
}

bool CommonDialog::showOpen()
{
    return showFile(false);
}

bool CommonDialog::showSave()
{
    return showFile(true);
}

bool CommonDialog::showColor()
{
    unsigned chosen = m_color;
    if (!m_presenter.color(m_owner, chosen))
        return false;
    m_color = chosen;
    return true;
}

bool CommonDialog::showFont()
{
    FontChoice chosen = m_font;
    if (!m_presenter.font(m_owner, m_flags, chosen))
        return false;
    m_font = chosen;
    return true;
}

// ---- The real dialogs: Qt's own, so they behave alike on every desktop.

namespace {

QFileDialog *makeFileDialog(QWidget *owner, const FileRequest &request)
{
    auto *dialog = new QFileDialog(owner, request.title, request.initialFolder);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilters(
        {QStringLiteral("Text files (%1)").arg(request.filter), QStringLiteral("All files (*)")});
    dialog->setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog->selectFile(request.fileName);
    return dialog;
}

bool runFileDialog(QFileDialog *dialog, QString &chosen)
{
    const bool accepted = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    if (accepted)
        chosen = QDir::toNativeSeparators(dialog->selectedFiles().constFirst());
    delete dialog;
    return accepted;
}

} // namespace

bool QtDialogPresenter::openFile(QWidget *owner, const FileRequest &request, QString &chosen)
{
    QFileDialog *dialog = makeFileDialog(owner, request);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    return runFileDialog(dialog, chosen);
}

bool QtDialogPresenter::saveFile(QWidget *owner, const FileRequest &request, QString &chosen)
{
    QFileDialog *dialog = makeFileDialog(owner, request);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    return runFileDialog(dialog, chosen);
}

bool QtDialogPresenter::color(QWidget *owner, unsigned &bgr)
{
    QColorDialog dialog(colorFromBgr(bgr), owner);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    bgr = bgrFromColor(dialog.selectedColor());
    return true;
}

// Qt's font dialog has no option to leave its effects out, so this looks for
// them among its children: the check boxes (strikeout, underline) and the
// group around them. A test fails should a Qt version build the dialog
// otherwise.
void hideFontEffects(QWidget *fontDialog)
{
    for (QCheckBox *box : fontDialog->findChildren<QCheckBox *>()) {
        if (auto *group = qobject_cast<QGroupBox *>(box->parentWidget()))
            group->hide();
        box->hide();
    }
}

bool QtDialogPresenter::font(QWidget *owner, int flags, FontChoice &choice)
{
    QFont initial(choice.name);
    if (choice.size > 0)
        initial.setPointSizeF(choice.size);
    initial.setBold(choice.bold);
    initial.setItalic(choice.italic);
    QFontDialog dialog(initial, owner);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (!(flags & CommonDialog::kFlagEffects))
        hideFontEffects(&dialog); // only face, size, bold and italic are applied

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QFont f = dialog.selectedFont();
    choice.name = f.family();
    choice.size = float(f.pointSizeF());
    choice.bold = f.bold();
    choice.italic = f.italic();
    return true;
}

bool QtDialogPresenter::printer(QWidget *owner, QPrinter &printer)
{
    QPrintDialog dialog(&printer, owner);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace vellumo
