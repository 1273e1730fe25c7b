#include "about/frmAbout.h"
#include "app/Identity.h"
#include "app/frmMain.h"
#include "platform/system/Shell.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace vellumo;
using namespace vellumo::test;

namespace {

const QString kAddress = QStringLiteral("https://orchardnet.example");

// Every widget of the dialog as the user meets it, with its place, in stacking order.
QStringList describe(const QDialog *dialog)
{
    QStringList out;
    for (const QWidget *w : dialog->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const QRect g = w->geometry();
        out << QStringLiteral("%1 %2,%3 %4x%5")
                   .arg(asSeen(w))
                   .arg(g.x())
                   .arg(g.y())
                   .arg(g.width())
                   .arg(g.height());
    }
    return out;
}

// What the user does with the mouse to the address label, or to the line above it.
using Gesture = std::function<void(QWidget *address, QWidget *above)>;

} // namespace

Q_DECLARE_METATYPE(Gesture)

class AboutTest : public MainWindowFixture {
    Q_OBJECT

    // About, Info, with `act` given the dialog while it is shown (whenModal
    // closes what `act` leaves open). Returns whether a modal window came up.
    bool showAbout(const std::function<void(QDialog *)> &act)
    {
        auto ran = whenModal([&act](QWidget *modal) {
            auto *dialog = qobject_cast<QDialog *>(modal);
            // Keys and shortcuts reach only the active window.
            if (dialog && dialog->objectName() == QLatin1String("frmAbout") &&
                QTest::qWaitForWindowActive(dialog))
                act(dialog);
        });
        menuItem("Info")->trigger();
        return *ran;
    }

    static QWidget *control(QDialog *dialog, const char *name)
    {
        return dialog->findChild<QWidget *>(QString::fromLatin1(name));
    }

private Q_SLOTS:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    void theRuleIsAGreyLineUnderAWiderWhiteOne()
    {
        QImage shot;
        QVERIFY(showAbout([&](QDialog *dialog) { shot = dialog->grab().toImage(); }));
        // Grey 120..5684 at 1200, one pixel; white 120..5669, two pixels.
        shot = shot.scaled(382, 150); // whatever the device pixel ratio
        QCOMPARE(shot.pixelColor(100, 80), QColor(Qt::white));
        QCOMPARE(shot.pixelColor(100, 81), QColor(Qt::white));
        QCOMPARE(shot.pixelColor(379, 80), QColor(0x80, 0x80, 0x80)); // only the grey reaches here
    }

    // The dialog, then its controls, later ones stacked over earlier ones, with their texts.
    // Trailing and double blanks are meant.
    void controlsStackInTheirStoredOrderWithTheirTexts()
    {
        QStringList seen;
        QVERIFY(showAbout([&](QDialog *dialog) {
            seen << asSeen(dialog);
            for (QWidget *w : dialog->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                seen << asSeen(w);
        }));
        QCOMPARE(seen, (QStringList{
                           "frmAbout", "picIcon ''", "cmdOK 'OK'", "cmdSysInfo '&System Info...'",
                           "Label2 'https://orchardnet.example'",
                           "Label1 'Helped by:  Orchardnet Forums'", "Line1",
                           "lblDescription 'A basic text program. '", "lblTitle 'Vellumo'", "Line1",
                           "lblVersion 'Version 1'", "lblDisclaimer 'Code by: Karvik '"}));
    }

    void labelsPaintTheirColours_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("text");       // invalid: the toolkit's default
        QTest::addColumn<QColor>("background"); // invalid: the toolkit's default
        const QPalette app = QApplication::palette();
        const QColor standard;
        QTest::newRow("Label2") << "Label2" << app.color(QPalette::Highlight)
                                << QColor(0xB4, 0xB4, 0xB4);
        QTest::newRow("Label1") << "Label1" << standard << standard;
        QTest::newRow("lblDescription") << "lblDescription" << QColor(Qt::black) << standard;
        QTest::newRow("lblTitle") << "lblTitle" << QColor(Qt::black) << standard;
        QTest::newRow("lblVersion") << "lblVersion" << standard << standard;
        QTest::newRow("lblDisclaimer") << "lblDisclaimer" << QColor(Qt::black) << standard;
    }
    void labelsPaintTheirColours()
    {
        QFETCH(QString, name);
        QFETCH(QColor, text);
        QFETCH(QColor, background);
        QColor seenText, seenBackground, painted;
        bool filled = false;
        Qt::Alignment alignment;
        QVERIFY(showAbout([&](QDialog *dialog) {
            auto *label = dialog->findChild<QLabel *>(name);
            if (!label)
                return;
            seenText = label->palette().color(QPalette::WindowText);
            seenBackground = label->palette().color(QPalette::Window);
            filled = label->autoFillBackground();
            alignment = label->alignment();
            // The right end of every label is past its text: only background there.
            const QImage shot = label->grab().toImage().scaled(label->size());
            painted = shot.pixelColor(label->width() - 2, label->height() / 2);
        }));
        const QPalette app = QApplication::palette("QLabel");
        if (!text.isValid())
            text = app.color(QPalette::WindowText);
        if (!background.isValid())
            background = app.color(QPalette::Window);
        QCOMPARE(seenText, text);
        QCOMPARE(seenBackground, background);
        QVERIFY(filled);
        QCOMPARE(painted, background);
        QCOMPARE(alignment, Qt::AlignLeft | Qt::AlignTop);
    }

    void windowIsAFixedDialogOwnedByTheMainWindow()
    {
        QString title;
        QSize size, minimum, maximum;
        Qt::WindowFlags flags;
        Qt::WindowModality modality = Qt::NonModal;
        QWidget *owner = nullptr;
        QPoint centre;
        QVERIFY(showAbout([&](QDialog *dialog) {
            title = dialog->windowTitle();
            size = dialog->size();
            minimum = dialog->minimumSize();
            maximum = dialog->maximumSize();
            flags = dialog->windowFlags();
            modality = dialog->windowModality();
            owner = dialog->parentWidget();
            centre = dialog->geometry().center();
        }));
        QCOMPARE(title, QStringLiteral("About Vellumo"));
        QCOMPARE(size, QSize(382, 150));
        QCOMPARE(minimum, size);
        QCOMPARE(maximum, size);
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(modality, Qt::ApplicationModal);
        QCOMPARE(owner, window.get());
        // It opens centred over the main window.
        const QPoint offset = centre - window->geometry().center();
        QVERIFY2(offset.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
    }

    void iconIsTheDialogsOwn()
    {
        QList<QSize> sizes;
        QImage windowIcon32;
        QVERIFY(showAbout([&](QDialog *dialog) {
            sizes = dialog->windowIcon().availableSizes();
            windowIcon32 = dialog->windowIcon().pixmap(32, 32).toImage();
        }));
        QCOMPARE(sizes,
                 (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(64, 64), QSize(128, 128)}));
        const QImage own = QImage(":/icons/about-32.png").convertToFormat(windowIcon32.format());
        QCOMPARE(windowIcon32, own);
        const QImage program = QApplication::windowIcon().pixmap(32, 32).toImage();
        QVERIFY(program.convertToFormat(own.format()) != own);
    }

    void eachShowingIsAFreshIdenticalWindowOfTheSameObject()
    {
        QVERIFY(!window->about());
        QStringList first, second;
        QString focusFirst, focusSecond;
        QPointer<QDialog> firstWindow;
        QVERIFY(showAbout([&](QDialog *dialog) {
            firstWindow = dialog;
            first = describe(dialog);
            focusFirst = QApplication::focusWidget()->objectName();
            // Leave it with the focus elsewhere: the next showing must not remember.
            pressKey(dialog, Qt::Key_Tab);
            QTest::mouseClick(control(dialog, "cmdOK"), Qt::LeftButton);
        }));
        frmAbout *object = window->about();
        QVERIFY(object);
        QVERIFY2(!firstWindow, "closing destroys the window");
        QVERIFY(!object->window());
        QTRY_VERIFY(window->isActiveWindow());

        QVERIFY(showAbout([&](QDialog *dialog) {
            second = describe(dialog);
            focusSecond = QApplication::focusWidget()->objectName();
            QTest::mouseClick(control(dialog, "cmdOK"), Qt::LeftButton);
        }));
        QCOMPARE(window->about(), object);
        QCOMPARE(focusFirst, QStringLiteral("cmdOK"));
        QCOMPARE(focusSecond, QStringLiteral("cmdOK"));
        QCOMPARE(second, first);
        QCOMPARE(first.size(), 11);
    }

    void tabMovesBetweenTheButtonsOnly()
    {
        QStringList visited;
        QVERIFY(showAbout([&](QDialog *dialog) {
            for (int i = 0; i < 4; ++i) {
                pressKey(dialog, Qt::Key_Tab);
                visited << QApplication::focusWidget()->objectName();
            }
        }));
        QCOMPARE(visited, (QStringList{"cmdSysInfo", "cmdOK", "cmdSysInfo", "cmdOK"}));
    }

    void enterEscAndTheCloseControlCloseIt_data()
    {
        QTest::addColumn<int>("key"); // 0: the frame's close control
        QTest::addColumn<int>("tabs");
        QTest::newRow("Return") << int(Qt::Key_Return) << 0;
        QTest::newRow("Enter") << int(Qt::Key_Enter) << 0;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 0;
        QTest::newRow("Return on System Info") << int(Qt::Key_Return) << 1;
        QTest::newRow("Escape on System Info") << int(Qt::Key_Escape) << 1;
        QTest::newRow("close control") << 0 << 0;
    }
    void enterEscAndTheCloseControlCloseIt()
    {
        QFETCH(int, key);
        QFETCH(int, tabs);
        bool closed = false;
        QVERIFY(showAbout([&](QDialog *dialog) {
            for (int i = 0; i < tabs; ++i)
                pressKey(dialog, Qt::Key_Tab);
            if (key)
                pressKey(dialog, key);
            else
                dialog->close();
            closed = !dialog->isVisible();
        }));
        QVERIFY(closed);
        QVERIFY(!window->about()->window());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(platform->shell.opened.isEmpty());
        QVERIFY(platform->messageBox.calls.isEmpty());
    }

    void eachClickOnTheAddressHandsItToTheShellOnce()
    {
        QStringList afterOne;
        bool openAfterClicks = false;
        QVERIFY(showAbout([&](QDialog *dialog) {
            auto *label = static_cast<QLabel *>(control(dialog, "Label2"));
            QTest::mouseClick(label, Qt::LeftButton);
            afterOne = platform->shell.opened;
            // Whatever the label has come to show, the address handed on is the program's own.
            label->setText(QStringLiteral("file:///etc/passwd"));
            QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(3, 3));
            label->setText(QStringLiteral("$(touch /tmp/x); xdg-open https://elsewhere.example"));
            QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(label->width() - 3, 3));
            openAfterClicks = dialog->isVisible();
        }));
        QCOMPARE(afterOne, QStringList{kAddress});
        QCOMPARE(platform->shell.opened, (QStringList{kAddress, kAddress, kAddress}));
        QVERIFY(openAfterClicks);
        QVERIFY(platform->messageBox.calls.isEmpty());
    }

    void onlyARealClickOnTheAddressCounts_data()
    {
        QTest::addColumn<Gesture>("gesture");
        QTest::addColumn<int>("opened");
        QTest::newRow("right button") << Gesture([](QWidget *address, QWidget *) {
            QTest::mouseClick(address, Qt::RightButton);
        }) << 0;
        QTest::newRow("released off the label") << Gesture([](QWidget *address, QWidget *) {
            QTest::mousePress(address, Qt::LeftButton);
            QTest::mouseRelease(address, Qt::LeftButton, {}, QPoint(address->width() + 20, 5));
        }) << 0;
        QTest::newRow("click on the line above")
            << Gesture([](QWidget *, QWidget *above) { QTest::mouseClick(above, Qt::LeftButton); })
            << 0;
        // What a widget receives from a double click: the second press arrives as the
        // double-click event.
        QTest::newRow("double click") << Gesture([](QWidget *address, QWidget *) {
            QTest::mouseClick(address, Qt::LeftButton);
            QTest::mouseDClick(address, Qt::LeftButton);
            QTest::mouseRelease(address, Qt::LeftButton);
        }) << 1;
    }
    void onlyARealClickOnTheAddressCounts()
    {
        QFETCH(Gesture, gesture);
        QFETCH(int, opened);
        QVERIFY(showAbout([&](QDialog *dialog) {
            gesture(control(dialog, "Label2"), control(dialog, "Label1"));
        }));
        QCOMPARE(platform->shell.opened.size(), opened);
    }

    // A desktop where nothing handles web addresses.
    void addressWithNoHandlerLeavesTheDialogQuiet()
    {
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QSKIP("only where no desktop can pick up the address");
        RecordingShell::route(nullptr);
        QVERIFY(open(platform->services));
        bool stillOpen = false;
        QWidget *modalAfter = nullptr;
        QVERIFY(showAbout([&](QDialog *dialog) {
            QTest::mouseClick(control(dialog, "Label2"), Qt::LeftButton);
            stillOpen = dialog->isVisible();
            modalAfter = QApplication::activeModalWidget();
            QTest::mouseClick(control(dialog, "cmdOK"), Qt::LeftButton);
        }));
        QVERIFY(stillOpen);
        QCOMPARE(modalAfter ? modalAfter->objectName() : QString(), QStringLiteral("frmAbout"));
        QVERIFY(platform->messageBox.calls.isEmpty());
        QVERIFY(!window->about()->window());
    }

    void systemInfoLeavesTheDialogOpen_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<bool>("toolFound");
        QTest::newRow("click, tool found") << false << true;
        QTest::newRow("Alt+S, tool found") << true << true;
        QTest::newRow("click, no tool") << false << false;
    }
    void systemInfoLeavesTheDialogOpen()
    {
        QFETCH(bool, byKey);
        QFETCH(bool, toolFound);
        if (toolFound) {
            platform->registry.setValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", kRegSz,
                                        std::string("/opt/info/tool\0", 15));
            platform->programStart.programs.insert(QStringLiteral("/opt/info/tool"));
        }
        int clicks = -1;
        bool openAfter = false, closedByOk = false;
        QString boxOwner = QStringLiteral("no box"); // whose window the message was over
        QVERIFY(showAbout([&](QDialog *dialog) {
            auto *sysInfo = static_cast<QPushButton *>(control(dialog, "cmdSysInfo"));
            QSignalSpy clicked(sysInfo, &QPushButton::clicked);
            if (byKey)
                pressKey(dialog, Qt::Key_S, Qt::AltModifier);
            else
                QTest::mouseClick(sysInfo, Qt::LeftButton);
            // A button's access key clicks it a moment later, as a visible press.
            if (QTest::qWaitFor([&] { return !clicked.isEmpty(); }))
                clicks = int(clicked.size());
            if (!platform->messageBox.calls.isEmpty()) {
                QWidget *owner = platform->messageBox.calls.last().owner;
                boxOwner = owner == dialog         ? QStringLiteral("the About window")
                           : owner == window.get() ? QStringLiteral("the main window")
                                                   : QStringLiteral("another window");
            }
            openAfter = dialog->isVisible();
            QTest::mouseClick(control(dialog, "cmdOK"), Qt::LeftButton);
            closedByOk = !dialog->isVisible();
        }));
        QCOMPARE(clicks, 1);
        QVERIFY(openAfter);
        QVERIFY(closedByOk);
        QVERIFY(platform->shell.opened.isEmpty());
        if (toolFound) {
            QCOMPARE(platform->programStart.starts, QStringList{"/opt/info/tool 1"});
            QVERIFY(platform->messageBox.calls.isEmpty());
        } else {
            QVERIFY(platform->programStart.starts.isEmpty());
            QCOMPARE(platform->messageBox.calls.size(), 1); // what it says: in tst_sysinfo
            QCOMPARE(boxOwner, QStringLiteral("the About window"));
        }
    }

    // Through the window system, as a user's input comes, where modality applies.
    void clickInMainWindow(QWidget *target, QPoint at)
    {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          target->mapTo(window.get(), at));
    }

    void mainWindowTakesNoInputWhileItIsOpen()
    {
        window->RichTextBox1()->setText("kept");
        auto *reset = window->findChild<QPushButton *>("CmdReset");
        QSignalSpy resetClicks(reset, &QPushButton::clicked);
        QMenuBar *bar = window->menuBar();
        const QPoint aboutMenu = bar->actionGeometry(bar->actions().constLast()).center();
        bool menuOpened = true;
        QVERIFY(showAbout([&](QDialog *) {
            clickInMainWindow(reset, reset->rect().center());
            for (char key : {'t', 'y', 'p', 'e'})
                QTest::keyClick(window->windowHandle(), key);
            clickInMainWindow(bar, aboutMenu);
            menuOpened = window->findChild<QMenu *>("About")->isVisible();
        }));
        QCOMPARE(resetClicks.size(), 0);
        QVERIFY(!menuOpened);
        QCOMPARE(window->RichTextBox1()->text(), QStringLiteral("kept"));
        // The same click once the dialog is gone does reach the window.
        QTRY_VERIFY(window->isActiveWindow());
        clickInMainWindow(reset, reset->rect().center());
        QCOMPARE(resetClicks.size(), 1);
        QVERIFY(window->RichTextBox1()->text().isEmpty());
    }

    void showingWhileShownKeepsTheOneWindow()
    {
        QDialog *before = nullptr, *after = nullptr;
        bool stillOpen = false;
        QVERIFY(showAbout([&](QDialog *dialog) {
            before = window->about()->window();
            // Should a second modal loop start, close its window instead of hanging.
            QTimer::singleShot(0, dialog, [dialog] {
                QWidget *modal = QApplication::activeModalWidget();
                if (modal && modal != dialog)
                    modal->close();
            });
            window->about()->Show();
            after = window->about()->window();
            stillOpen = dialog->isVisible();
        }));
        QVERIFY(before);
        QCOMPARE(after, before);
        QVERIFY(stillOpen);
    }

    void shellHandsOnWebAddressesOnly_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("opened"); // empty: refused
        QTest::newRow("the forum") << kAddress << kAddress;
        auto row = [](const char *name, const char *address, const char *opened) {
            QTest::newRow(name) << QString(address) << QString(opened);
        };
        row("http with a path", "http://orchardnet.example/a?b=1",
            "http://orchardnet.example/a?b=1");
        row("scheme in capitals", "HTTPS://orchardnet.example", "https://orchardnet.example");
        row("a file", "file:///etc/passwd", "");
        row("a program path", "/usr/bin/xterm", "");
        row("a script", "javascript:alert(1)", "");
        row("another scheme", "ftp://orchardnet.example", "");
        row("an option for the opener", "--help", "");
        row("no host", "https:orchardnet.example", "");
        row("blank in the host", "https://orchard net.example", "");
        row("leading blank", " https://orchardnet.example", "");
        row("empty", "", "");
    }
    void shellHandsOnWebAddressesOnly()
    {
        QFETCH(QString, address);
        QFETCH(QString, opened);
        openWebAddress(address);
        QCOMPARE(platform->shell.opened, opened.isEmpty() ? QStringList() : QStringList{opened});
    }
};

MAIN_WINDOW_TEST_MAIN(AboutTest)

#include "tst_about.moc"
