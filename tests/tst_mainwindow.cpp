#include "app/Identity.h"
#include "app/SystemServices.h"
#include "app/frmMain.h"
#include "platform/dialogs/BusyCursor.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/ProgressDialog.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace vellumo;
using namespace vellumo::test;

// A command as the user gives it: from its menu item or its button.
using Command = std::function<void(frmMain &)>;
Q_DECLARE_METATYPE(Command)

class MainWindowTest : public MainWindowFixture {
    Q_OBJECT

    static Command menu(const char *item)
    {
        return [item](frmMain &w) {
            w.findChild<QAction *>(item)->trigger();
        };
    }
    static Command button(const char *name)
    {
        return [name](frmMain &w) {
            QTest::mouseClick(w.findChild<QWidget *>(name), Qt::LeftButton);
        };
    }

private Q_SLOTS:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    void windowIsFixedWithOnlyACloseControl()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Vellumo"));
        QCOMPARE(window->objectName(), QStringLiteral("frmMain"));
        QCOMPARE(window->clientArea()->y(), window->menuBar()->height());
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QCOMPARE(window->size(),
                 window->clientArea()->size() + QSize(0, window->menuBar()->height()));
        // It starts in the middle of the screen, give or take its frame.
        const QPoint offCentre =
            window->frameGeometry().center() - window->screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 6, "the window starts off the screen's centre");
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        // Resizing is refused, and nothing inside moves.
        const QRect before = child("cmdLoad")->geometry();
        window->resize(900, 700);
        QCOMPARE(window->size(), window->minimumSize());
        QCOMPARE(child("cmdLoad")->geometry(), before);
    }

    void identityNamesTheProgram()
    {
        QCOMPARE(QApplication::applicationName(), QStringLiteral("Vellumo"));
        QCOMPARE(QApplication::applicationVersion(), QString::fromLatin1(kProgramVersion));
    }

    // Each container's controls, later ones stacked over earlier ones, with their captions.
    void controlsStackInTheirStoredOrderWithTheirCaptions()
    {
        QStringList seen;
        for (const char *container : {"client", "Frame1", "Frame2"})
            for (auto *w : child(container)->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                if (!w->objectName().isEmpty())
                    seen << QString::fromLatin1(container) + u'/' + asSeen(w);
        QCOMPARE(seen, (QStringList{"client/Frame1 ''", "client/Frame2 'Controls:'",
                                    "Frame1/RichTextBox1", "Frame2/CmdColor '&Color'",
                                    "Frame2/CmdReset '&Reset'", "Frame2/cmdLoad '&Load'",
                                    "Frame2/cmdSave '&Save'", "Frame2/cmdFont '&Font'",
                                    "Frame2/Image2 ''", "Frame2/Image4 ''"}));
    }

    void windowIconHasEverySize()
    {
        QCOMPARE(window->windowIcon().availableSizes(),
                 (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(64, 64), QSize(128, 128)}));
    }

    void startsEmptyWithTheFocusInTheTextArea()
    {
        QVERIFY(window->RichTextBox1()->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), window->RichTextBox1());
        QCOMPARE(window->fileNumber(), 0);
        QVERIFY(window->loadedText().isEmpty());
        QCOMPARE(window->quitAnswer(), short(0));
    }

    void tabCyclesInTabIndexOrder()
    {
        QStringList visited;
        for (int i = 0; i < 6; ++i) {
            pressKey(window.get(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, (QStringList{"cmdFont", "cmdSave", "cmdLoad", "CmdReset", "CmdColor",
                                       "RichTextBox1"}));
        QVERIFY2(window->RichTextBox1()->text().isEmpty(), "Tab must move on, not type a tab");
        pressKey(window.get(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("CmdColor"));
    }

    void accessKeysPressTheirButtons_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("button");
        QTest::newRow("Alt+C") << int(Qt::Key_C) << "CmdColor";
        QTest::newRow("Alt+S") << int(Qt::Key_S) << "cmdSave";
        QTest::newRow("Alt+L") << int(Qt::Key_L) << "cmdLoad";
        QTest::newRow("Alt+R") << int(Qt::Key_R) << "CmdReset";
    }
    void accessKeysPressTheirButtons()
    {
        QFETCH(int, key);
        QFETCH(QString, button);
        QSignalSpy clicked(window->findChild<QPushButton *>(button), &QPushButton::clicked);
        pressKey(window.get(), key, Qt::AltModifier);
        QTRY_COMPARE(clicked.size(), 1);
    }

    void altFOpensTheFileMenuNotTheFontButton()
    {
        QSignalSpy font(child<QPushButton>("cmdFont"), &QPushButton::clicked);
        for (int round = 0; round < 2; ++round) {
            pressKey(window.get(), Qt::Key_F, Qt::AltModifier);
            QTRY_VERIFY(child<QMenu>("File")->isVisible());
            QTest::keyClick(child<QMenu>("File"), Qt::Key_Escape);
            QTRY_VERIFY(!child<QMenu>("File")->isVisible());
        }
        QCOMPARE(font.size(), 0);
        QCOMPARE(child<QPushButton>("cmdFont")->text(), QStringLiteral("&Font"));
    }

    void menusHoldTheirItems()
    {
        QStringList bar;
        for (QAction *a : window->menuBar()->actions())
            bar << a->objectName() + "=" + a->text();
        QCOMPARE(bar, (QStringList{"File=&File", "Edit=&Edit", "About=&About"}));

        auto items = [this](const char *menu) {
            QStringList out;
            for (QAction *a : child<QMenu>(menu)->actions()) {
                out << a->objectName() + "=" + (a->isSeparator() ? "-" : a->text());
                if (!a->isEnabled() || !a->isVisible() || a->isCheckable() ||
                    !a->shortcut().isEmpty())
                    out << "unexpected state of " + a->objectName();
            }
            return out;
        };
        QCOMPARE(items("File"),
                 (QStringList{"Load=&Load", "Save=&Save", "Print=&Print", "a=-", "Exit=&Exit"}));
        QCOMPARE(items("Edit"),
                 (QStringList{"Color=&Color", "Font=&Font", "a3=-", "Reset=&Reset"}));
        QCOMPARE(items("About"), (QStringList{"Info=&Info"}));
    }

    void separatorsDoNothing()
    {
        window->RichTextBox1()->setText("kept");
        menuItem("a")->trigger();
        menuItem("a3")->trigger();
        QCOMPARE(window->RichTextBox1()->text(), QStringLiteral("kept"));
        QVERIFY(platform->messageBox.calls.isEmpty());
        QVERIFY(platform->exit.codes.isEmpty());
    }

    // File, Exit and the close control ask the one question over the window, and nothing
    // about saving; only Yes ends the program, unsaved text or not.
    void quittingAsksFirst_data()
    {
        QTest::addColumn<bool>("closeControl");
        QTest::addColumn<int>("answer");
        QTest::newRow("File, Exit, No") << false << kAnswerNo;
        QTest::newRow("File, Exit, Yes") << false << kAnswerYes;
        QTest::newRow("close control, No") << true << kAnswerNo;
        QTest::newRow("close control, Yes") << true << kAnswerYes;
    }
    void quittingAsksFirst()
    {
        QFETCH(bool, closeControl);
        QFETCH(int, answer);
        const bool yes = answer == kAnswerYes;
        window->RichTextBox1()->setText("unsaved");
        platform->messageBox.answers = {answer};
        if (closeControl)
            QCOMPARE(window->close(), yes);
        else
            menuItem("Exit")->trigger();
        QCOMPARE(platform->messageBox.calls.size(), 1);
        const auto call = platform->messageBox.calls.first();
        QCOMPARE(call.prompt, QStringLiteral("You are about to quit!?"));
        QCOMPARE(call.title, QStringLiteral("Quit?"));
        QCOMPARE(call.style, 20); // Yes and No, the critical-stop icon, Yes the default
        QCOMPARE(call.owner, window.get());
        QCOMPARE(window->quitAnswer(), short(answer));
        QCOMPARE(platform->exit.codes, yes ? QList<int>{0} : QList<int>{});
        QCOMPARE(window->isVisible(), !yes);
        QCOMPARE(window->RichTextBox1()->text(), QStringLiteral("unsaved"));
    }

    // Each question, confirmation and failure of the file commands, and the
    // file dialog, opens over the main window, which waits for the answer.
    void fileCommandsAskAndConfirmOverTheMainWindow_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QStringList>("boxes");
        const QString foreign = QStringLiteral("\u4E2D"); // not in Windows-1252
        QTest::newRow("File, Load")
            << menu("Load") << QString() << true << QStringList{"Load Successful"};
        QTest::newRow("File, Load of a missing file")
            << menu("Load") << QString() << false << QStringList{"Load failed"};
        QTest::newRow("Load button") << button("cmdLoad") << QString() << true << QStringList{};
        QTest::newRow("File, Save")
            << menu("Save") << "plain" << false << QStringList{"Save Successful"};
        QTest::newRow("File, Save, a character Windows-1252 lacks")
            << menu("Save") << foreign << false << QStringList{"Save", "Save Successful"};
        QTest::newRow("Save button, a character Windows-1252 lacks")
            << button("cmdSave") << foreign << false << QStringList{"Save"};
    }
    void fileCommandsAskAndConfirmOverTheMainWindow()
    {
        QFETCH(Command, command);
        QFETCH(QString, text);
        QFETCH(bool, fileExists);
        QFETCH(QStringList, boxes);
        const QString file = path(QStringLiteral("file.txt"));
        if (fileExists)
            QVERIFY(writeFile(file, "loaded\r\n"));
        platform->dialogs.choose(file);
        window->RichTextBox1()->setText(text);
        command(*window);
        QStringList titles;
        for (const auto &call : platform->messageBox.calls) {
            titles << call.title;
            QVERIFY2(call.owner == window.get(), qPrintable(call.title));
        }
        QCOMPARE(titles, boxes);
        QCOMPARE(platform->dialogs.owners, QList<QWidget *>{window.get()});
    }

    // Qt's progress dialog, for work in steps: nothing for work of a third of a second, not even
    // the busy arrow in place of the hourglass; for
    // longer work the label and Cancel, modal over the main window, whose own clicks go
    // nowhere meanwhile; Cancel ends the work at its next step. Past the point of no return Cancel
    // is gone and a close of the dialog goes by.
    void realProgressDialogShowsForLongWorkOverTheWindowAndCancels_data()
    {
        QTest::addColumn<bool>("lockedIn");
        QTest::newRow("cancellable") << false;
        QTest::newRow("locked in") << true;
    }
    void realProgressDialogShowsForLongWorkOverTheWindowAndCancels()
    {
        QFETCH(bool, lockedIn);
        DialogProgressService service;
        const BusyCursor busy;
        int judged = 0, loud = 0;
        {
            // However slow the machine: steps that say half is done keep the dialog's guess of
            // the time left under its age, and a look counts while this clock, started before
            // the dialog's, reads under half a second after it.
            QElapsedTimer clock;
            clock.start();
            const auto quick = service.start(window.get(), QStringLiteral("quick"));
            for (qint64 at = 0; at < 300; at = clock.elapsed()) {
                quick->step(0.5 + at / 600.0);
                QTest::qSleep(3);
                const bool quiet = !QApplication::activeModalWidget() &&
                                   QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
                if (clock.elapsed() < 500) {
                    ++judged;
                    loud += quiet ? 0 : 1;
                }
            }
        }
        QVERIFY2(judged > 0, "the machine held the work back for half a second");
        QCOMPARE(loud, 0);

        const auto progress = service.start(window.get(), QStringLiteral("Loading \"x.txt\""));
        if (lockedIn)
            progress->lockIn(QStringLiteral("Printing 3 pages"));
        QSignalSpy loadClicks(child<QPushButton>("cmdLoad"), &QPushButton::clicked);
        QString seenClass, seenLabel;
        QWidget *seenOwner = nullptr;
        Qt::WindowModality seenModality = Qt::NonModal;
        bool seenCancel = false;
        auto cancelled = whenModal([&](QWidget *modal) {
            seenClass = QString::fromLatin1(modal->metaObject()->className());
            seenOwner = modal->parentWidget();
            seenModality = modal->windowModality();
            if (auto *label = modal->findChild<QLabel *>())
                seenLabel = label->text();
            const QPoint load = child<QPushButton>("cmdLoad")->geometry().center();
            QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                              child<QWidget>("cmdLoad")->parentWidget()->mapTo(window.get(), load));
            auto *cancel = modal->findChild<QPushButton *>();
            seenCancel = cancel && cancel->isVisible();
            if (seenCancel)
                cancel->click();
            else
                modal->close(); // the window's own close control
        });
        int afterCancel = 0;
        bool endedByCancel = false;
        try {
            // Well past the cancel, for a locked-in dialog to show it goes on.
            for (int steps = 0; steps < 1000 && afterCancel < 20; ++steps) {
                progress->step(steps / 1000.0);
                QTest::qSleep(5);
                afterCancel += *cancelled;
            }
        } catch (const Cancelled &) {
            endedByCancel = true;
        }
        QVERIFY(*cancelled);
        QCOMPARE(endedByCancel, !lockedIn);
        QCOMPARE(seenCancel, !lockedIn);
        QCOMPARE(seenClass, QStringLiteral("QProgressDialog"));
        QCOMPARE(seenOwner, window.get());
        QCOMPARE(seenModality, Qt::WindowModal);
        QCOMPARE(seenLabel, lockedIn ? QStringLiteral("Printing 3 pages")
                                     : QStringLiteral("Loading \"x.txt\""));
        QCOMPARE(loadClicks.size(), 0);
    }

    // The real box, answered the way a user would: Enter takes the default, Yes, and the
    // program's event loop ends.
    void realQuitBoxEndsTheEventLoopOnEnter()
    {
        window.reset();
        const SystemServices system;
        frmMain w(system.services());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWidget *seenOwner = nullptr;
        auto answered = whenModal([&](QWidget *modal) {
            seenOwner = modal->parentWidget();
            QTest::keyClick(modal, Qt::Key_Return);
        });
        QTimer::singleShot(0, &w, [&] { w.findChild<QAction *>("Exit")->trigger(); });
        QTimer::singleShot(10000, &w, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(*answered);
        QCOMPARE(seenOwner, static_cast<QWidget *>(&w));
        QCOMPARE(w.quitAnswer(), short(kAnswerYes));
    }
};

MAIN_WINDOW_TEST_MAIN(MainWindowTest)

#include "tst_mainwindow.moc"
