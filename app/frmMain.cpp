#include "app/frmMain.h"

#include "about/frmAbout.h"
#include "app/Identity.h"
#include "app/MainLayout.h"
#include "document/Formatting.h"
#include "document/Printing.h"
#include "document/TextFiles.h"
#include "platform/Failure.h"
#include "platform/Progress.h"
#include "platform/dialogs/BusyCursor.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/forms/Accessibility.h"
#include "platform/system/ProgramExit.h"
#include "platform/textarea/RichTextBox.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <new>
#include <utility>

namespace vellumo {

namespace {
QWidget *makeRichText(QWidget *parent)
{
    return new RichTextBox(parent);
}
} // namespace

frmMain::frmMain(const Services &services, QWidget *parent)
    : QMainWindow(parent), m_services(services), m_dialog(*services.dialogs, this)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kProgramName));
    // A fixed single frame: a close control, no minimise or maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(twipsToPixels(kMainClientWidth), twipsToPixels(kMainClientHeight));
    setCentralWidget(m_client);

    FormBuilder form(m_client, &makeRichText);
    form.build(mainLayout());
    m_text = qobject_cast<RichTextBox *>(form.control(QStringLiteral("RichTextBox1")));
    describeControls(
        form, {{"Frame1", "Text area", nullptr},
               {"RichTextBox1", "Document", "The text to load, edit, format, save and print"},
               {"Image2", "Vellumo icon", nullptr},
               {"Image4", "Vellumo icon", nullptr},
               {"cmdFont", nullptr, "Sets the font, size and style of the selected text"},
               {"CmdColor", nullptr, "Sets the colour of the selected text"},
               {"cmdSave", nullptr, "Saves the text to a file you choose"},
               {"cmdLoad", nullptr, "Replaces the text with a file you choose"},
               {"CmdReset", nullptr, "Empties the text area, with no undo"}});
    nameScrollBars(m_client);

    // Alt+F belongs to the File menu, as on every desktop; the Font button
    // keeps its underlined F but does not compete for the key, which would
    // make Qt treat it as ambiguous and only move the focus.
    auto *font = form.control(QStringLiteral("cmdFont"));
    static_cast<QPushButton *>(font)->setShortcut(QKeySequence());

    auto button = [&](const char *name) {
        return static_cast<QPushButton *>(form.control(QString::fromLatin1(name)));
    };
    route(button("cmdLoad"), [this] { Loadfile(); });
    route(button("cmdSave"), [this] { SaveFile(); });
    route(button("CmdColor"), [this] { OpenColor(); });
    route(button("cmdFont"), [this] { OpenFont(); });
    route(button("CmdReset"), [this] { m_text->setText(QString()); });
    // The area's long edits are commands too: the same progress, the same one message on failure.
    // Within a command of the window (Color, Font), they are its steps.
    m_text->setRunner(
        [this](const QString &command, const QString &label, const RichTextBox::Work &work) {
            const auto steps = [&] {
                BusyCursor busy;
                const std::unique_ptr<Progress> progress = m_services.progress->start(this, label);
                work(*progress);
            };
            m_running ? steps() : run(command, steps);
        });

    buildMenus();

    layout()->setSizeConstraint(QLayout::SetFixedSize);
    m_text->setFocus(Qt::OtherFocusReason);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize size = sizeHint();
        move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
    }
}

frmMain::~frmMain() = default;

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setNativeMenuBar(false); // keep the menus in the window, where the access keys work
    auto menu = [bar](const char *name, const char *caption) {
        QMenu *m = bar->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        m->setAccessibleName(spokenCaption(m->title())); // the open menu, as its title says
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    auto item = [](QMenu *m, const char *name, const char *caption) {
        QAction *a = m->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    auto separator = [](QMenu *m, const char *name) {
        m->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    QMenu *file = menu("File", "&File");
    // The menu confirms, but only what really happened.
    route(item(file, "Load", "&Load"), [this] {
        if (Loadfile())
            m_services.messageBox->show(this, QStringLiteral("Text has been loaded"),
                                        MsgStyle::OkOnly, QStringLiteral("Load Successful"));
    });
    route(item(file, "Save", "&Save"), [this] {
        if (SaveFile())
            m_services.messageBox->show(this, QStringLiteral("Text has been Saved"),
                                        MsgStyle::OkOnly, QStringLiteral("Save Successful"));
    });
    route(item(file, "Print", "&Print"), [this] { PrintText(); });
    separator(file, "a");
    route(item(file, "Exit", "&Exit"), [this] { ConfirmExit(); });

    QMenu *edit = menu("Edit", "&Edit");
    route(item(edit, "Color", "&Color"), [this] { OpenColor(); });
    route(item(edit, "Font", "&Font"), [this] { OpenFont(); });
    separator(edit, "a3");
    route(item(edit, "Reset", "&Reset"), [this] { m_text->setText(QString()); });

    QMenu *about = menu("About", "&About");
    route(item(about, "Info", "&Info"), [this] { ShowAbout(); });
}

// A failure message names the command by its caption, without the access key mark.
void frmMain::route(QPushButton *button, std::function<void()> body)
{
    connect(button, &QPushButton::clicked, this,
            [this, command = button->text().remove(u'&'), body = std::move(body)] {
                run(command, body);
            });
}

void frmMain::route(QAction *item, std::function<void()> body)
{
    connect(item, &QAction::triggered, this,
            [this, command = item->text().remove(u'&'), body = std::move(body)] {
                run(command, body);
            });
}

void frmMain::run(const QString &command, const std::function<void()> &body)
{
    // Long work lets events through while it runs; no second command starts meanwhile.
    if (m_running)
        return;
    QString reason;
    try {
        const QScopedValueRollback running(m_running, true);
        body();
        return;
    } catch (const Cancelled &) {
        return; // the user's own choice: nothing to report
    } catch (const Failure &failure) {
        reason = failure.message();
    } catch (const std::bad_alloc &) {
        reason = QStringLiteral("There is not enough memory to complete this command.");
    } catch (const std::exception &error) {
        reason = QString::fromLocal8Bit(error.what());
    }
    m_services.messageBox->show(this, reason, MsgStyle::OkOnly | MsgStyle::Critical,
                                QStringLiteral("%1 failed").arg(command));
}

bool frmMain::Loadfile()
{
    const LoadResult result =
        loadTextFile(m_dialog, *m_text, *m_services.files, *m_services.progress);
    m_fileNumber = result.fileNumber;
    if (!result.text)
        return false;
    m_letGo(std::exchange(m_loadedText, *result.text));
    return true;
}

bool frmMain::SaveFile()
{
    const SaveResult result = saveTextFile(m_dialog, *m_text, *m_services.files,
                                           *m_services.messageBox, *m_services.progress);
    m_fileNumber = result.fileNumber;
    return result.saved;
}

void frmMain::OpenColor()
{
    colorSelection(m_dialog, *m_text);
}

void frmMain::OpenFont()
{
    fontSelection(m_dialog, *m_text);
}

void frmMain::PrintText()
{
    printAreaText(m_dialog, *m_text, *m_services.printer, *m_services.progress);
}

void frmMain::ShowAbout()
{
    if (!m_about)
        m_about =
            std::make_unique<frmAbout>(*m_services.messageBox, *m_services.registry,
                                       *m_services.fileSearch, *m_services.programStart, this);
    m_about->Show();
}

void frmMain::ConfirmExit()
{
    m_quitAnswer = short(
        m_services.messageBox->show(this, QStringLiteral("You are about to quit!?"),
                                    MsgStyle::YesNo | MsgStyle::Critical, QStringLiteral("Quit?")));
    if (m_quitAnswer == kAnswerYes) {
        m_ending = true;
        // Gone from the screen at once: freeing a big text after it keeps no window waiting.
        hide();
        m_services.programExit->exit(0);
    }
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // The close control would otherwise drop the text without a word. While a command runs,
    // it waits for the command to end.
    if (!m_ending)
        run(QStringLiteral("Exit"), [this] { ConfirmExit(); });
    if (m_ending)
        event->accept();
    else
        event->ignore();
}

} // namespace vellumo
