#include "about/AboutLayout.h"
#include "about/frmAbout.h"
#include "app/Identity.h"
#include "app/MainLayout.h"
#include "app/frmMain.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/forms/Accessibility.h"
#include "support/Fakes.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace vellumo;
using namespace vellumo::test;

namespace {

// One node of an accessibility tree, as a screen reader meets it.
struct Node {
    QString object; // object name of the widget or action behind it
    QAccessible::Role role;
    QString name;
    QString description;
};

// The tree under `iface`, depth first. A child that does not know its parent
// would leave a screen reader stranded, so that is reported as a problem.
void walk(QAccessibleInterface *iface, QList<Node> &nodes, QStringList &problems)
{
    nodes.append({iface->object() ? iface->object()->objectName() : QString(), iface->role(),
                  iface->text(QAccessible::Name), iface->text(QAccessible::Description)});
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        if (!child) {
            problems << QStringLiteral("child %1 of '%2' is missing").arg(i).arg(nodes.last().name);
            continue;
        }
        if (child->parent() != iface)
            problems << QStringLiteral("'%1' does not lead back to '%2'")
                            .arg(child->text(QAccessible::Name), nodes.last().name);
        walk(child, nodes, problems);
    }
}

QList<Node> tree(QWidget *window, QStringList &problems)
{
    QList<Node> nodes;
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(window);
    if (!root)
        problems << QStringLiteral("%1 has no accessibility interface").arg(window->objectName());
    else
        walk(root, nodes, problems);
    return nodes;
}

QList<Node> nodesOf(const QList<Node> &nodes, const QString &object)
{
    QList<Node> found;
    for (const Node &node : nodes)
        if (node.object == object)
            found << node;
    return found;
}

enum class Window { Main, About };

// The objects a user meets: the controls of the window's layout and, for the
// main window, every menu and menu item.
QStringList controlsOf(Window window, const frmMain &main)
{
    QStringList names;
    const auto &entries = window == Window::Main ? mainLayout() : aboutLayout();
    for (const ControlEntry &entry : entries)
        if (entry.kind != ControlKind::Component)
            names << QString::fromLatin1(entry.name);
    if (window == Window::Main)
        for (QAction *menu : main.menuBar()->actions()) {
            names << menu->objectName();
            for (QAction *item : menu->menu()->actions())
                names << item->objectName();
        }
    names.removeDuplicates();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(Window)

class AccessibilityTest : public MainWindowFixture {
    Q_OBJECT

    // Runs `look` on the window the row names: the main window, or the About
    // dialog while it is shown (and closed again afterwards).
    void inWindow(Window which, const std::function<void(QWidget *)> &look)
    {
        if (which == Window::Main) {
            look(window.get());
            return;
        }
        auto ran = whenModal([&](QWidget *dialog) {
            look(dialog);
            static_cast<QDialog *>(dialog)->reject();
        });
        window->ShowAbout();
        QVERIFY2(*ran, "the About dialog did not open");
    }

private Q_SLOTS:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    void everyControlHasANameAndARole_data()
    {
        QTest::addColumn<Window>("window");
        QTest::newRow("main window") << Window::Main;
        QTest::newRow("About dialog") << Window::About;
    }
    void everyControlHasANameAndARole()
    {
        QFETCH(Window, window);
        QStringList problems;
        QList<Node> nodes;
        inWindow(window, [&](QWidget *w) { nodes = tree(w, problems); });
        QVERIFY(!nodes.isEmpty());
        QVERIFY2(!nodes.first().name.isEmpty(), "the window has no name");
        for (const Node &node : nodes) {
            if (node.role == QAccessible::NoRole)
                problems << QStringLiteral("'%1' (%2) has no role").arg(node.name, node.object);
            // Hidden bars stay in the tree too, where a screen reader meets them.
            if (node.role == QAccessible::ScrollBar && node.name.isEmpty())
                problems << QStringLiteral("a scroll bar (%1) has no name").arg(node.object);
        }
        for (const QString &control : controlsOf(window, *this->window)) {
            const QList<Node> found = nodesOf(nodes, control);
            if (found.isEmpty())
                problems << control + QStringLiteral(" is not in the tree");
            // A separator is the one thing a screen reader needs no name for.
            for (const Node &node : found)
                if (node.name.isEmpty() && node.role != QAccessible::Separator)
                    problems << control + QStringLiteral(" has no name");
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    }

    void controlsSayWhatTheUserSees_data()
    {
        QTest::addColumn<Window>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("described");
        const int button = QAccessible::Button, text = QAccessible::StaticText;
        QTest::newRow("button by caption") << Window::Main << "cmdSave" << button << "Save" << true;
        QTest::newRow("Reset says it empties")
            << Window::Main << "CmdReset" << button << "Reset" << true;
        QTest::newRow("the text area is the document")
            << Window::Main << "RichTextBox1" << int(QAccessible::EditableText) << "Document"
            << true;
        // Left to itself Qt names a picture after the nearest caption.
        QTest::newRow("icon is not 'Controls:'")
            << Window::Main << "Image2" << int(QAccessible::Graphic) << "Vellumo icon" << false;
        QTest::newRow("frame by caption")
            << Window::Main << "Frame2" << int(QAccessible::Grouping) << "Controls:" << false;
        QTest::newRow("captionless frame by its content")
            << Window::Main << "Frame1" << int(QAccessible::Grouping) << "Text area" << false;
        QTest::newRow("access key left out")
            << Window::About << "cmdSysInfo" << button << "System Info..." << true;
        QTest::newRow("label by its text, blanks at the end left out")
            << Window::About << "lblDisclaimer" << text << "Code by: Karvik" << false;
        QTest::newRow("the web address is a link")
            << Window::About << "Label2" << int(QAccessible::Link) << "https://orchardnet.example"
            << true;
        QTest::newRow("the rule is a separator")
            << Window::About << "Line1" << int(QAccessible::Separator) << "" << false;
    }
    void controlsSayWhatTheUserSees()
    {
        QFETCH(Window, window);
        QFETCH(QString, control);
        QFETCH(int, role);
        QFETCH(QString, name);
        QFETCH(bool, described);
        QStringList problems;
        QList<Node> found;
        inWindow(window, [&](QWidget *w) { found = nodesOf(tree(w, problems), control); });
        QVERIFY2(!found.isEmpty(), qPrintable(control));
        for (const Node &node : found) {
            QCOMPARE(int(node.role), role);
            QCOMPARE(node.name, name);
            QCOMPARE(!node.description.isEmpty(), described);
        }
    }

    void spokenCaptionDropsTheAccessKeyMarks_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("spoken");
        auto row = [](const char *name, const char *caption, const char *spoken) {
            QTest::newRow(name) << QString(caption) << QString(spoken);
        };
        row("mark", "&Font", "Font");
        row("mark inside", "E&xit now", "Exit now");
        row("doubled is a real ampersand", "Fish && Chips", "Fish & Chips");
        row("mark at the end", "Odd&", "Odd");
        row("blanks at the ends", " Code by: Karvik ", "Code by: Karvik");
        row("blanks inside kept", "Helped by:  Forums", "Helped by:  Forums");
    }
    void spokenCaptionDropsTheAccessKeyMarks()
    {
        QFETCH(QString, caption);
        QFETCH(QString, spoken);
        QCOMPARE(spokenCaption(caption), spoken);
    }

    // What a screen reader reads of a message box: an alert named by its title (the program's
    // name where it has none), its text, the icon by how grave it is (an icon without a name
    // says nothing), and its buttons.
    void messageBoxesSayTheirTitleTextIconAndButtons_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("critical") << int(MsgStyle::OkOnly | MsgStyle::Critical) << "Load failed"
                                  << "Load failed"
                                  << "Error" << QStringList{"OK"};
        QTest::newRow("exclamation, Yes and No")
            << int(MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2) << "Save"
            << "Save"
            << "Warning" << QStringList{"Yes", "No"};
        QTest::newRow("no icon, no title") << int(MsgStyle::OkOnly) << ""
                                           << "Vellumo"
                                           << "" << QStringList{"OK"};
    }
    void messageBoxesSayTheirTitleTextIconAndButtons()
    {
        QFETCH(int, style);
        QFETCH(QString, title);
        QFETCH(QString, name);
        QFETCH(QString, icon);
        QFETCH(QStringList, buttons);
        QStringList problems, images, labels, pressable;
        QList<Node> nodes;
        auto ran = whenModal([&](QWidget *box) {
            nodes = tree(box, problems);
            static_cast<QDialog *>(box)->reject();
        });
        QtMessageBox().show(window.get(), QStringLiteral("Text has been loaded"), style, title);
        QVERIFY(*ran);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
        for (const Node &node : nodes) {
            if (node.role == QAccessible::Graphic)
                images << node.name;
            if (node.role == QAccessible::StaticText && !node.name.isEmpty())
                labels << node.name;
            if (node.role == QAccessible::Button)
                pressable << node.name;
        }
        QCOMPARE(int(nodes.first().role), int(QAccessible::AlertMessage));
        QCOMPARE(nodes.first().name, name);
        QVERIFY(labels.contains(QStringLiteral("Text has been loaded")));
        QCOMPARE(pressable, buttons);
        // Qt keeps an empty icon label when there is no icon; it is never shown.
        if (!icon.isEmpty())
            QVERIFY2(images.contains(icon), qPrintable(images.join(u',')));
    }

    // A screen reader presses the link the way a mouse clicks it: once per
    // press, and the dialog stays open.
    void pressingTheLinkOpensTheAddress()
    {
        bool stillOpen = false, pressable = false;
        QStringList actions;
        bool linked = false;
        inWindow(Window::About, [&](QWidget *dialog) {
            QAccessibleInterface *link =
                QAccessible::queryAccessibleInterface(dialog->findChild<QLabel *>("Label2"));
            pressable = link && link->actionInterface();
            if (!pressable)
                return;
            linked = link->state().linked;
            actions = link->actionInterface()->actionNames();
            link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            link->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
            stillOpen = dialog->isVisible();
        });
        QVERIFY(pressable);
        QVERIFY(linked);
        QCOMPARE(actions, QStringList{QAccessibleActionInterface::pressAction()});
        QCOMPARE(platform->shell.opened,
                 QStringList(2, QString::fromLatin1(frmAbout::kForumAddress)));
        QVERIFY(stillOpen);
    }

    // Where a screen reader was already listening when the control was made,
    // its old answer must not stick.
    void aRoleGivenLateStillCounts()
    {
        QLabel label(QStringLiteral("https://example.org"));
        QAccessibleInterface *before = QAccessible::queryAccessibleInterface(&label);
        QVERIFY(before);
        QCOMPARE(before->role(), QAccessible::StaticText);
        markAsLink(&label);
        QAccessibleInterface *after = QAccessible::queryAccessibleInterface(&label);
        QVERIFY(after);
        QCOMPARE(after->role(), QAccessible::Link);
        QCOMPARE(after->text(QAccessible::Name), QStringLiteral("https://example.org"));
        QCOMPARE(after->text(QAccessible::Value), QString()); // read once, as its name
    }

    // Every menu command by its access keys, and the Font button, whose Alt+F
    // belongs to the File menu, by the tab cycle. (The other buttons' access
    // keys are tested with the main window.)
    void everyCommandIsReachableWithoutAMouse_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("command");
        auto row = [](const char *name, const char *menu, const char *keys, const char *command) {
            QTest::newRow(name) << QString(menu) << QString(keys) << QString(command);
        };
        row("File, Load", "File", "Alt+F L", "Load");
        row("File, Save", "File", "Alt+F S", "Save");
        row("File, Print", "File", "Alt+F P", "Print");
        row("File, Exit", "File", "Alt+F E", "Exit");
        row("Edit, Color", "Edit", "Alt+E C", "Color");
        row("Edit, Font", "Edit", "Alt+E F", "Font");
        row("Edit, Reset", "Edit", "Alt+E R", "Reset");
        row("About, Info", "About", "Alt+A I", "Info");
        row("Font button", "", "Tab Space", "cmdFont");
    }
    void everyCommandIsReachableWithoutAMouse()
    {
        QFETCH(QString, menu);
        QFETCH(QString, keys);
        QFETCH(QString, command);
        auto *item = window->findChild<QAction *>(command);
        auto *button = window->findChild<QPushButton *>(command);
        QVERIFY(item || button);
        QSignalSpy ran(item ? static_cast<QObject *>(item) : button,
                       item ? SIGNAL(triggered(bool)) : SIGNAL(clicked(bool)));
        std::shared_ptr<bool> dialogClosed;
        if (command == QLatin1String("Info"))
            dialogClosed =
                whenModal([](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); });

        const QStringList presses = keys.split(u' ');
        for (int i = 0; i < presses.size(); ++i) {
            const QKeyCombination key = QKeySequence::fromString(presses[i])[0];
            QWidget *target = QApplication::activePopupWidget();
            if (!target)
                target = QApplication::focusWidget();
            QVERIFY(target);
            QTest::keyClick(target, key.key(), key.keyboardModifiers());
            if (i == 0 && !menu.isEmpty())
                QTRY_VERIFY(window->findChild<QMenu *>(menu)->isVisible());
        }
        QTRY_COMPARE(ran.size(), 1);
        if (dialogClosed)
            QVERIFY(*dialogClosed);
    }
};

MAIN_WINDOW_TEST_MAIN(AccessibilityTest)

#include "tst_accessibility.moc"
