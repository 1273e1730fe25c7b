#include "about/frmAbout.h"

#include "about/AboutLayout.h"
#include "about/SysInfo.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/forms/Accessibility.h"
#include "platform/forms/FormLayout.h"
#include "platform/system/ProgramStart.h"
#include "platform/system/Shell.h"

#include <QDialog>
#include <QIcon>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <exception>
#include <optional>

namespace vellumo {

frmAbout::frmAbout(MessageBoxService &messageBox, RegistryLayer &registry, FileSearch &fileSearch,
                   ProgramStart &programStart, QWidget *owner)
    : m_messageBox(messageBox), m_registry(registry), m_fileSearch(fileSearch),
      m_programStart(programStart), m_owner(owner)
{
}

frmAbout::~frmAbout()
{
    Unload();
}

void frmAbout::Show()
{
    // Already up: a second modal loop would destroy the window under the first.
    if (m_window) {
        m_window->activateWindow();
        return;
    }
    Load();
    // Whatever ends the showing, the window goes, so the next one starts afresh.
    const auto unload = qScopeGuard([this] { Unload(); });
    m_window->exec(); // application modal: the owner takes no input meanwhile
    // Hand the activation back, also where no window manager would.
    if (m_owner)
        m_owner->activateWindow();
}

void frmAbout::Load()
{
    // A fixed dialog frame: a close control, which acts as OK, and no
    // minimise or maximise. Owned, so it has no taskbar entry of its own, and
    // left unplaced, so Qt centres it over the owner.
    auto *window = new QDialog(m_owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    m_window = window;
    window->setObjectName(QStringLiteral("frmAbout"));
    window->setWindowTitle(QStringLiteral("About Vellumo"));
    window->setWindowIcon(pictureIcon(":/icons/about"));
    window->setFixedSize(twipsToPixels(kAboutClientWidth), twipsToPixels(kAboutClientHeight));

    FormBuilder form(window);
    form.build(aboutLayout());

    // OK is both the default button (Enter) and the cancel button: Esc and
    // the close control reject the dialog, which closes it all the same.
    auto *ok = static_cast<QPushButton *>(form.control(QStringLiteral("cmdOK")));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, window, &QDialog::accept);
    auto *sysInfo = static_cast<QPushButton *>(form.control(QStringLiteral("cmdSysInfo")));
    connect(sysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);

    m_label2 = form.control(QStringLiteral("Label2"));
    markAsLink(m_label2);
    describeControls(form, {{"picIcon", "Information icon", nullptr},
                            {"cmdSysInfo", nullptr, "Starts the system information tool"},
                            {"Label2", nullptr, "Opens the forum's web page in your browser"}});
    nameScrollBars(window);
    m_label2->installEventFilter(this);
    m_label2Pressed = false;

    ok->setFocus(Qt::OtherFocusReason);
}

void frmAbout::Unload()
{
    delete m_window.data();
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_label2)
        return QObject::eventFilter(watched, event);
    // A click is a left press and release on the label. The second press of a
    // double click comes as a double-click event and is no new click, so a
    // double click opens the address once.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        m_label2Pressed = static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
        break;
    case QEvent::MouseButtonDblClick:
        m_label2Pressed = false;
        break;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const bool click = m_label2Pressed && mouse->button() == Qt::LeftButton &&
                           m_label2->rect().contains(mouse->position().toPoint());
        m_label2Pressed = false;
        if (click)
            Label2_Click();
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void frmAbout::Label2_Click()
{
    openWebAddress(QString::fromLatin1(kForumAddress));
}

void frmAbout::StartSysInfo()
{
    try {
        if (const std::optional<QString> tool = findSysInfoTool(m_registry, m_fileSearch)) {
            m_programStart.start(*tool, ShowState::Normal);
            return;
        }
    } catch (const std::exception &) {
        // Every failure on the way ends in the same message.
    }
    QWidget *over = m_window ? static_cast<QWidget *>(m_window.data()) : m_owner.data();
    m_messageBox.show(over, QString::fromLatin1(kSysInfoUnavailable), MsgStyle::OkOnly);
}

} // namespace vellumo
