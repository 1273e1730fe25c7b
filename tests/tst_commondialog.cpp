#include "platform/Failure.h"
#include "platform/dialogs/CommonDialog.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"
#include "support/Modal.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

using namespace vellumo;
using namespace vellumo::test;

namespace {

// Types `name` into a Qt file dialog opened on `folder` and presses Return.
// Returns false, leaving it open, when `modal` is no such dialog.
bool typeFileName(QWidget *modal, const QString &folder, const QString &name)
{
    auto *fd = qobject_cast<QFileDialog *>(modal);
    auto *edit = fd ? fd->findChild<QLineEdit *>("fileNameEdit") : nullptr;
    if (!edit)
        return false;
    fd->setDirectory(folder);
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
    return true;
}

} // namespace

class CommonDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { verifyNoWindowLeft(); }

    void fileDialogsGetTheStoredSettingsAndTheLastChoice()
    {
        ScriptedDialogs dialogs;
        CommonDialog dialog(dialogs, nullptr);
        dialogs.choose(QStringLiteral("/tmp/first.txt"));
        QVERIFY(dialog.showOpen());
        QCOMPARE(dialog.fileName(), QStringLiteral("/tmp/first.txt"));
        QVERIFY(dialog.showSave());
        QCOMPARE(dialogs.fileRequests.size(), 2);
        const FileRequest first = dialogs.fileRequests[0];
        QCOMPARE(first.title, QStringLiteral("Please select where:"));
        QCOMPARE(first.initialFolder, QDir::rootPath());
        QCOMPARE(first.filter, QStringLiteral("*.txt"));
        QCOMPARE(first.defaultSuffix, QStringLiteral("txt"));
        QVERIFY(first.fileName.isEmpty());
        QCOMPARE(dialogs.fileRequests[1].fileName, QStringLiteral("/tmp/first.txt"));
    }

    void cancelledFileDialogsLeaveNoName()
    {
        ScriptedDialogs dialogs;
        CommonDialog dialog(dialogs, nullptr);
        dialogs.choose(QStringLiteral("/tmp/a.txt"));
        QVERIFY(dialog.showOpen());
        dialogs.onOpen = nullptr;
        dialogs.onSave = nullptr;
        QVERIFY(!dialog.showOpen());
        QVERIFY(dialog.fileName().isEmpty());
        dialogs.choose(QStringLiteral("/tmp/a.txt"));
        QVERIFY(dialog.showOpen());
        dialogs.onSave = nullptr;
        QVERIFY(!dialog.showSave());
        QVERIFY(dialog.fileName().isEmpty());
    }

    void fileNamesLongerThan260AreRefused()
    {
        ScriptedDialogs dialogs;
        CommonDialog dialog(dialogs, nullptr);
        const QString ok = "/" + QString(259, u'a');
        dialogs.choose(ok);
        QVERIFY(dialog.showOpen());
        QCOMPARE(dialog.fileName(), ok);
        const QString tooLong = ok + "b";
        dialogs.choose(tooLong);
        try {
            dialog.showSave();
            QFAIL("a 261-character name was accepted");
        } catch (const Failure &failure) {
            QVERIFY(failure.message().contains(tooLong));
            QVERIFY(failure.message().contains("260"));
        }
        QVERIFY(dialog.fileName().isEmpty());
    }

    void colourAndFontKeepTheirValuesOnCancel()
    {
        ScriptedDialogs dialogs;
        CommonDialog dialog(dialogs, nullptr);
        unsigned offered = 1;
        dialogs.onColor = [&](unsigned &bgr) {
            offered = bgr;
            bgr = 0x00FF8000;
            return true;
        };
        QVERIFY(dialog.showColor());
        QCOMPARE(offered, 0u);
        QCOMPARE(dialog.color(), 0x00FF8000u);
        dialogs.onColor = [&](unsigned &bgr) {
            offered = bgr;
            bgr = 0x123456; // what a dialog might hold, never taken on cancel
            return false;
        };
        QVERIFY(!dialog.showColor());
        QCOMPARE(offered, 0x00FF8000u);
        QCOMPARE(dialog.color(), 0x00FF8000u);

        dialogs.onFont = [](int, FontChoice &c) {
            c = {QStringLiteral("DejaVu Serif"), 10.5f, true, false};
            return true;
        };
        dialog.setFlags(3);
        QVERIFY(dialog.showFont());
        QCOMPARE(dialogs.fontFlags, QList<int>{3});
        QCOMPARE(dialog.fontName(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(dialog.fontSize(), 10.5f);
        QVERIFY(dialog.fontBold());
        QVERIFY(!dialog.fontItalic());
        dialogs.onFont = [](int, FontChoice &c) {
            c = {QStringLiteral("Other"), 20, false, true};
            return false;
        };
        QVERIFY(!dialog.showFont());
        QCOMPARE(dialog.fontName(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(dialog.fontSize(), 10.5f);
        QVERIFY(dialog.fontBold());
        // The flags stay for every later dialog.
        QCOMPARE(dialog.flags(), 3);
    }

    // ---- the real Qt dialogs, answered as a user would

    // What each filter lists can be chosen: a text file, and with "All files" one without .txt.
    void realOpenDialogListsAndChoosesAFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("filter"); // the dialog's first, second...
        QTest::newRow("text files") << QStringLiteral("pick me.txt") << 0;
        QTest::newRow("All files") << QStringLiteral("notes.log") << 1;
    }
    void realOpenDialogListsAndChoosesAFile()
    {
        QFETCH(QString, name);
        QFETCH(int, filter);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(writeFile(path, {}));

        QtDialogPresenter presenter;
        CommonDialog dialog(presenter, nullptr);
        QString title;
        bool listed = false;
        auto ran = whenModal([&](QWidget *modal) {
            auto *fd = qobject_cast<QFileDialog *>(modal);
            auto *model = fd ? fd->findChild<QFileSystemModel *>() : nullptr;
            if (!model)
                return;
            title = fd->windowTitle();
            fd->setDirectory(dir.path());
            fd->selectNameFilter(fd->nameFilters().value(filter));
            const QModelIndex folder = model->index(dir.path());
            listed = QTest::qWaitFor([&] {
                const QModelIndex first = model->index(0, 0, folder);
                return !model->match(first, Qt::DisplayRole, name, 1, Qt::MatchExactly).isEmpty();
            });
            typeFileName(modal, dir.path(), name);
        });
        QVERIFY(dialog.showOpen());
        QVERIFY(*ran);
        QCOMPARE(title, QStringLiteral("Please select where:"));
        QVERIFY2(listed, qPrintable(name + QStringLiteral(" is not listed")));
        QCOMPARE(QDir::fromNativeSeparators(dialog.fileName()), path);

        auto cancelled = whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QVERIFY(!dialog.showSave());
        QVERIFY(*cancelled);
        QVERIFY(dialog.fileName().isEmpty());
    }

    void realSaveDialogAddsTheTxtSuffix()
    {
        QTemporaryDir dir;
        QtDialogPresenter presenter;
        CommonDialog dialog(presenter, nullptr);
        bool typed = false;
        const auto answered =
            whenModal([&](QWidget *modal) { typed = typeFileName(modal, dir.path(), "notes"); });
        QVERIFY(dialog.showSave());
        QVERIFY(typed);
        QCOMPARE(QDir::fromNativeSeparators(dialog.fileName()), dir.filePath("notes.txt"));
    }

    void realColourDialogGivesBlueGreenRed()
    {
        QtDialogPresenter presenter;
        CommonDialog dialog(presenter, nullptr);
        bool colourDialog = false;
        const auto chosen = whenModal([&](QWidget *modal) {
            auto *cd = qobject_cast<QColorDialog *>(modal);
            colourDialog = cd;
            if (!cd)
                return;
            cd->setCurrentColor(QColor(0x12, 0x34, 0x56));
            cd->accept();
        });
        QVERIFY(dialog.showColor());
        QVERIFY(colourDialog);
        QCOMPARE(dialog.color(), 0x563412u);
        // Cancel keeps it.
        const auto cancelled =
            whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QVERIFY(!dialog.showColor());
        QCOMPARE(dialog.color(), 0x563412u);
    }

    // hideFontEffects finds the effects by how Qt builds its font dialog:
    // check boxes in a group of their own. Should a Qt version build it
    // otherwise, this fails rather than the effects quietly showing again.
    void qtFontDialogHasTheEffectsWhereTheyAreHidden()
    {
        QFontDialog dialog;
        dialog.setOption(QFontDialog::DontUseNativeDialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QList<QCheckBox *> boxes = dialog.findChildren<QCheckBox *>();
        const QList<QListView *> lists = dialog.findChildren<QListView *>();
        QCOMPARE(boxes.size(), 2); // strikeout and underline
        QCOMPARE(lists.size(), 3); // face, style and size
        auto *group = qobject_cast<QGroupBox *>(boxes[0]->parentWidget());
        QVERIFY2(group, "the effects are not in a group box");
        QCOMPARE(boxes[1]->parentWidget(), group);
        for (QListView *list : lists)
            QVERIFY(!group->isAncestorOf(list));
        QVERIFY(group->isVisible());
        for (QCheckBox *box : boxes)
            QVERIFY(box->isVisible());

        hideFontEffects(&dialog);
        QVERIFY(!group->isVisible());
        for (QCheckBox *box : boxes)
            QVERIFY2(!box->isVisible(), qPrintable(box->text()));
        for (QListView *list : lists)
            QVERIFY(list->isVisible());
        for (QGroupBox *other : dialog.findChildren<QGroupBox *>())
            if (other != group)
                QVERIFY2(other->isVisible(), qPrintable(other->title()));
    }

    void realFontDialogOffersNoEffectsAndStartsAtTheLastChoice()
    {
        QtDialogPresenter presenter;
        CommonDialog dialog(presenter, nullptr);
        dialog.setFlags(3);
        int visibleBoxes = -1;
        const auto chosen = whenModal([&](QWidget *modal) {
            auto *fd = qobject_cast<QFontDialog *>(modal);
            if (!fd)
                return;
            visibleBoxes = 0;
            for (QCheckBox *box : fd->findChildren<QCheckBox *>())
                visibleBoxes += box->isVisibleTo(fd);
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPointSizeF(13);
            f.setItalic(true);
            fd->setCurrentFont(f);
            fd->accept();
        });
        QVERIFY(dialog.showFont());
        QCOMPARE(visibleBoxes, 0);
        QCOMPARE(dialog.fontSize(), 13.0f);
        QVERIFY(dialog.fontItalic());

        // The next one starts at the font chosen.
        QFont shown;
        const auto looked = whenModal([&](QWidget *modal) {
            if (auto *fd = qobject_cast<QFontDialog *>(modal))
                shown = fd->currentFont();
        });
        QVERIFY(!dialog.showFont());
        QCOMPARE(shown.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(shown.pointSizeF(), 13.0);
        QVERIFY(shown.italic());
    }
};

QTEST_MAIN(CommonDialogTest)
#include "tst_commondialog.moc"
