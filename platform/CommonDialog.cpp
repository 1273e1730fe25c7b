#include "platform/CommonDialog.h"

#include "platform/Failure.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGroupBox>
#include <QPrintDialog>
#include <QPrinter>

namespace vellumo {

CommonDialog::CommonDialog(DialogPresenter &presenter) : m_presenter(presenter)
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
    const bool accepted =
        save ? m_presenter.saveFile(request, chosen) : m_presenter.openFile(request, chosen);
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
    if (!m_presenter.color(chosen))
        return false;
    m_color = chosen;
    return true;
}

bool CommonDialog::showFont()
{
    FontChoice chosen = m_font;
    if (!m_presenter.font(m_flags, chosen))
        return false;
    m_font = chosen;
    return true;
}

bool CommonDialog::showPrinter(QPrinter &printer)
{
    if (!m_presenter.printer(printer))
        return false;
    m_copies = printer.copyCount();
    return true;
}

// ---- The real dialogs: Qt's own, so they behave alike on every desktop.

namespace {

QFileDialog *makeFileDialog(const FileRequest &request)
{
    auto *dialog =
        new QFileDialog(QApplication::activeWindow(), request.title, request.initialFolder);
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

bool QtDialogPresenter::openFile(const FileRequest &request, QString &chosen)
{
    QFileDialog *dialog = makeFileDialog(request);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    return runFileDialog(dialog, chosen);
}

bool QtDialogPresenter::saveFile(const FileRequest &request, QString &chosen)
{
    QFileDialog *dialog = makeFileDialog(request);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    return runFileDialog(dialog, chosen);
}

bool QtDialogPresenter::color(unsigned &bgr)
{
    const QColor initial(int(bgr & 0xFFu), int((bgr >> 8) & 0xFFu), int((bgr >> 16) & 0xFFu));
    QColorDialog dialog(initial, QApplication::activeWindow());
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QColor c = dialog.selectedColor();
    bgr = unsigned(c.red()) | unsigned(c.green()) << 8 | unsigned(c.blue()) << 16;
    return true;
}

bool QtDialogPresenter::font(int flags, FontChoice &choice)
{
    QFont initial(choice.name);
    if (choice.size > 0)
        initial.setPointSizeF(choice.size);
    initial.setBold(choice.bold);
    initial.setItalic(choice.italic);
    QFontDialog dialog(initial, QApplication::activeWindow());
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (!(flags & CommonDialog::kFlagEffects)) {
        // Only face, size, bold and italic are applied: offer nothing else.
        for (QCheckBox *box : dialog.findChildren<QCheckBox *>()) {
            if (auto *group = qobject_cast<QGroupBox *>(box->parentWidget()))
                group->hide();
            box->hide();
        }
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QFont f = dialog.selectedFont();
    choice.name = f.family();
    choice.size = float(f.pointSizeF());
    choice.bold = f.bold();
    choice.italic = f.italic();
    return true;
}

bool QtDialogPresenter::printer(QPrinter &printer)
{
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted;
}

} // namespace vellumo
