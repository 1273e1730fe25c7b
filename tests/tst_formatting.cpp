#include "app/frmMain.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"
#include "support/TextFormats.h"

#include <QApplication>
#include <QColorDialog>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>

using namespace vellumo;
using namespace vellumo::test;

class FormattingTest : public MainWindowFixture {
    Q_OBJECT

    QtDialogPresenter realDialogs;

    RichTextBox *area() { return window->RichTextBox1(); }
    // Clicks the button of that name, or else triggers the menu item.
    void run(const QByteArray &name)
    {
        if (auto *button = window->findChild<QPushButton *>(QString::fromLatin1(name)))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            menuItem(name.constData())->trigger();
    }

    void chooseFont(const FontChoice &choice)
    {
        platform->dialogs.onFont = [choice](int, FontChoice &c) {
            c = choice;
            return true;
        };
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(open());
        area()->setText(QStringLiteral("abcdef\nghij"));
        selectRange(*area(), 2, 8); // "cdef\ng"
    }
    void cleanup() { close(); }

    void colourReachesExactlyTheSelection_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::newRow("button") << QByteArray("CmdColor");
        QTest::newRow("menu") << QByteArray("Color");
    }
    void colourReachesExactlyTheSelection()
    {
        QFETCH(QByteArray, control);
        const CharFormats before = charFormats(*area());
        platform->dialogs.onColor = [](unsigned &bgr) {
            bgr = 0x00336699; // blue 0x33, green 0x66, red 0x99
            return true;
        };
        run(control);
        const CharFormats after = charFormats(*area());
        for (int pos : after.keys()) {
            if (pos >= 2 && pos < 8)
                QCOMPARE(after[pos].value(QTextFormat::ForegroundBrush).value<QBrush>().color(),
                         QColor(0x99, 0x66, 0x33));
            else
                QCOMPARE(after[pos], before[pos]);
        }
        QCOMPARE(area()->text(), QStringLiteral("abcdef\nghij"));
        QVERIFY(platform->messageBox.calls.isEmpty());
        QCOMPARE(platform->dialogs.owners, QList<QWidget *>{window.get()});
    }

    // A big selection is coloured in steps, which are the Color command's own: its progress,
    // and the colour to the last character.
    void aBigSelectionIsColouredInTheCommandsSteps()
    {
        area()->setText(QString(5 << 20, u'x'));
        area()->selectAll();
        platform->dialogs.onColor = [](unsigned &bgr) {
            bgr = 0x0000FF;
            return true;
        };
        run("Color");
        QTextCursor last(area()->document());
        last.movePosition(QTextCursor::End);
        QCOMPARE(last.charFormat().foreground().color(), QColor(Qt::red));
        QCOMPARE(platform->progress.started.size(), 1);
        QVERIFY(platform->messageBox.calls.isEmpty());
    }

    void colourDialogStartsAtTheLastColour()
    {
        unsigned offered = 1;
        platform->dialogs.onColor = [&](unsigned &bgr) {
            offered = bgr;
            bgr = 0x0000FF;
            return true;
        };
        run("CmdColor");
        run("Color");
        QCOMPARE(offered, 0x0000FFu);
    }

    void fontSetsFaceSizeAndStyleOfExactlyTheSelection_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::newRow("button, bold") << QByteArray("cmdFont") << true << false;
        QTest::newRow("menu, italic") << QByteArray("Font") << false << true;
        QTest::newRow("menu, both") << QByteArray("Font") << true << true;
    }
    void fontSetsFaceSizeAndStyleOfExactlyTheSelection()
    {
        QFETCH(QByteArray, control);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        // A colour already on part of the selection must survive the font.
        selectRange(*area(), 0, 4);
        area()->setSelColor(0x0000FF);
        selectRange(*area(), 2, 8);
        const CharFormats before = charFormats(*area());
        chooseFont({QStringLiteral("DejaVu Serif"), 10.5f, bold, italic});
        run(control);
        QCOMPARE(platform->dialogs.fontFlags.size(), 1);
        QCOMPARE(platform->dialogs.fontFlags[0] & CommonDialog::kFlagEffects, 0); // none offered
        QCOMPARE(platform->dialogs.owners, QList<QWidget *>{window.get()});
        const CharFormats after = charFormats(*area());
        for (int pos : after.keys()) {
            if (pos < 2 || pos >= 8) {
                QCOMPARE(after[pos], before[pos]);
                continue;
            }
            QTextCharFormat f;
            f.setProperty(QTextFormat::FontWeight, 0);
            const auto props = after[pos];
            for (auto it = props.begin(); it != props.end(); ++it)
                f.setProperty(it.key(), it.value());
            QCOMPARE(f.fontFamilies().toStringList(), QStringList{"DejaVu Serif"});
            QCOMPARE(f.fontPointSize(), 10.5);
            QCOMPARE(f.fontWeight() == QFont::Bold, bold);
            QCOMPARE(f.fontItalic(), italic);
            QVERIFY(!f.hasProperty(QTextFormat::FontUnderline));
            QVERIFY(!f.hasProperty(QTextFormat::TextUnderlineStyle));
            QVERIFY(!f.hasProperty(QTextFormat::FontStrikeOut));
            QCOMPARE(f.foreground(),
                     before[pos].value(QTextFormat::ForegroundBrush).value<QBrush>());
        }
    }

    void cancelChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::newRow("colour") << QByteArray("Color");
        QTest::newRow("font") << QByteArray("cmdFont");
    }
    void cancelChangesNothing()
    {
        QFETCH(QByteArray, control);
        area()->setSelColor(0x00FF00);
        const CharFormats before = charFormats(*area());
        // A dialog that reports other values as it is cancelled.
        platform->dialogs.onColor = [](unsigned &bgr) {
            bgr = 0x0000FF;
            return false;
        };
        platform->dialogs.onFont = [](int, FontChoice &c) {
            c = {QStringLiteral("Other"), 30, true, true};
            return false;
        };
        run(control);
        QCOMPARE(charFormats(*area()), before);
        QCOMPARE(window->CommonDialog1().color(), 0u);
        QVERIFY(window->CommonDialog1().fontName() != QStringLiteral("Other"));
    }

    void resetEmptiesAFormattedAreaSilently()
    {
        area()->setSelColor(0x0000FF);
        menuItem("Reset")->trigger();
        QVERIFY(area()->text().isEmpty());
        QTest::keyClicks(area(), "new");
        for (const auto &props : charFormats(*area()))
            QVERIFY(!props.contains(QTextFormat::ForegroundBrush));
        QVERIFY(platform->messageBox.calls.isEmpty());
    }

    void realColourDialogColoursTheSelection()
    {
        Services services = platform->services;
        services.dialogs = &realDialogs;
        QVERIFY(open(services));
        area()->setText(QStringLiteral("xyz"));
        selectRange(*area(), 1, 2);
        bool colourDialog = false;
        QWidget *owner = nullptr;
        auto ran = whenModal([&](QWidget *modal) {
            auto *dialog = qobject_cast<QColorDialog *>(modal);
            colourDialog = dialog;
            owner = modal->parentWidget();
            if (dialog)
                dialog->setCurrentColor(QColor(10, 20, 30));
            QTest::keyClick(modal, Qt::Key_Return);
        });
        run("CmdColor");
        QVERIFY(*ran);
        QVERIFY(colourDialog);
        QCOMPARE(owner, static_cast<QWidget *>(window.get()));
        const CharFormats f = charFormats(*area());
        QCOMPARE(f[1].value(QTextFormat::ForegroundBrush).value<QBrush>().color(),
                 QColor(10, 20, 30));
        QVERIFY(!f[0].contains(QTextFormat::ForegroundBrush));
        QVERIFY(!f[2].contains(QTextFormat::ForegroundBrush));
    }
};

QTEST_MAIN(FormattingTest)
#include "tst_formatting.moc"
