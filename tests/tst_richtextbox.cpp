#include "platform/RichTextBox.h"
#include "support/TextFormats.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

using namespace vellumo;

namespace {

QMap<int, QMap<int, QVariant>> formats(RichTextBox &box)
{
    return test::charFormats(box);
}

void select(RichTextBox &box, int from, int to)
{
    test::selectRange(box, from, to);
}

// Pasting and dropping both arrive through these.
struct PasteTarget : RichTextBox {
    using RichTextBox::canInsertFromMimeData;
    using RichTextBox::insertFromMimeData;
};

} // namespace

class RichTextBoxTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsEmptyAndTabLeavesIt()
    {
        RichTextBox box;
        QVERIFY(box.text().isEmpty());
        QVERIFY(box.tabChangesFocus());
        QCOMPARE(box.lineBreak(), QStringLiteral("\r\n"));
    }

    void textComesBackAsItWasSet_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("crlf") << QStringLiteral("one\r\ntwo\r\n\r\nthree\r\n");
        QTest::newRow("lf") << QStringLiteral("one\ntwo\n\nthree");
        QTest::newRow("cr") << QStringLiteral("\rone\rtwo\r");
        QTest::newRow("no break") << QStringLiteral("just one line");
        QTest::newRow("no-break space") << QStringLiteral("a\u00A0b\u00A0\r\n\u00A0");
        QTest::newRow("controls and NUL")
            << QString::fromUtf16(u"\u0000\u0001\u0009\u001B\u0081\u009D", 6);
        QTest::newRow("cp1252 letters") << QStringLiteral("\u20AC\u2122\u0152\u00FF\u00E9");
    }
    void textComesBackAsItWasSet()
    {
        QFETCH(QString, text);
        RichTextBox box;
        box.setText(text);
        QCOMPARE(box.text(), text);
    }

    void lineBreaksFollowTheFirstOneOfTheLastText()
    {
        RichTextBox box;
        box.setText(QStringLiteral("a\nb"));
        QCOMPARE(box.lineBreak(), QStringLiteral("\n"));
        box.setText(QStringLiteral("a\rb"));
        QCOMPARE(box.lineBreak(), QStringLiteral("\r"));
        // Mixed breaks: the first decides how all come back.
        box.setText(QStringLiteral("a\r\nb\nc"));
        QCOMPARE(box.text(), QStringLiteral("a\r\nb\r\nc"));
        box.setText(QString());
        QCOMPARE(box.lineBreak(), QStringLiteral("\r\n"));
    }

    void typedLineBreaksComeBackAsLineBreaks()
    {
        RichTextBox box;
        box.setText(QStringLiteral("x\ny"));
        box.moveCursor(QTextCursor::End);
        QTest::keyClick(&box, Qt::Key_Return);
        QTest::keyClicks(&box, "z");
        QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier); // a line separator
        QTest::keyClicks(&box, "w");
        QCOMPARE(box.text(), QStringLiteral("x\ny\nz\nw"));
    }

    void replacingTheTextDropsAllFormatting()
    {
        RichTextBox box;
        box.setText(QStringLiteral("coloured"));
        select(box, 0, 8);
        box.setSelColor(0x0000FF);
        box.setSelBold(true);
        box.moveCursor(QTextCursor::End); // the typing position now carries the format too
        box.setText(QStringLiteral("fresh\ntext"));
        for (const auto &props : formats(box)) {
            QVERIFY(!props.contains(QTextFormat::ForegroundBrush));
            QVERIFY(!props.contains(QTextFormat::FontWeight));
        }
        QTest::keyClicks(&box, "t");
        QVERIFY(!box.textCursor().charFormat().hasProperty(QTextFormat::FontWeight));
    }

    void eachSelectionWriteChangesOneAttributeOfTheSelection_data()
    {
        QTest::addColumn<int>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("colour") << int(QTextFormat::ForegroundBrush)
                                << QVariant(QBrush(QColor(0x12, 0x34, 0x56)));
        QTest::newRow("face") << int(QTextFormat::FontFamilies)
                              << QVariant(QStringList{QStringLiteral("DejaVu Serif")});
        QTest::newRow("size") << int(QTextFormat::FontPointSize) << QVariant(10.5);
        QTest::newRow("bold") << int(QTextFormat::FontWeight) << QVariant(int(QFont::Bold));
        QTest::newRow("italic") << int(QTextFormat::FontItalic) << QVariant(true);
    }
    void eachSelectionWriteChangesOneAttributeOfTheSelection()
    {
        QFETCH(int, property);
        QFETCH(QVariant, expected);
        RichTextBox box;
        box.setText(QStringLiteral("abcdef\nghij"));
        // Something already on the selection and around it, which must stay.
        select(box, 1, 9);
        box.setSelFontSize(14);
        const auto before = formats(box);
        select(box, 2, 8); // "cdef\ng"
        switch (property) {
        case QTextFormat::ForegroundBrush:
            box.setSelColor(0x563412);
            break;
        case QTextFormat::FontFamilies:
            box.setSelFontName(QStringLiteral("DejaVu Serif"));
            break;
        case QTextFormat::FontPointSize:
            box.setSelFontSize(10.5f);
            break;
        case QTextFormat::FontWeight:
            box.setSelBold(true);
            break;
        case QTextFormat::FontItalic:
            box.setSelItalic(true);
            break;
        }
        const auto after = formats(box);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.keys(), before.keys());
        for (int pos : after.keys()) {
            auto expect = before[pos];
            if (pos >= 2 && pos < 8)
                expect[property] = expected;
            QVERIFY2(after[pos] == expect, qPrintable(QStringLiteral("position %1").arg(pos)));
        }
        QCOMPARE(box.text(), QStringLiteral("abcdef\nghij"));
    }

    void boldAndItalicAreSeparateFlags()
    {
        RichTextBox box;
        box.setText(QStringLiteral("word"));
        select(box, 0, 4);
        box.setSelItalic(true);
        box.setSelBold(true);
        box.setSelItalic(false);
        QTextCursor c(box.document());
        c.setPosition(2);
        QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
        QVERIFY(!c.charFormat().fontItalic());
    }

    void withNothingSelectedTheTypingPositionTakesTheFormat()
    {
        RichTextBox box;
        box.setText(QStringLiteral("ab"));
        box.moveCursor(QTextCursor::End);
        box.setSelColor(0x0000FF);
        box.setSelItalic(true);
        QTest::keyClicks(&box, "c");
        QTextCursor c(box.document());
        c.setPosition(3);
        QCOMPARE(c.charFormat().foreground().color(), QColor(0xFF, 0, 0));
        QVERIFY(c.charFormat().fontItalic());
        c.setPosition(2);
        QVERIFY(!c.charFormat().fontItalic());
    }

    void pastedRichTextArrivesAsPlainText()
    {
        PasteTarget box;
        QMimeData data;
        data.setHtml(QStringLiteral("<table><tr><td><b>cell</b></td></tr></table>"
                                    "<img src=\"x.png\"><hr>"));
        data.setText(QStringLiteral("cell\n"));
        QVERIFY(box.canInsertFromMimeData(&data));
        box.insertFromMimeData(&data);
        QCOMPARE(box.text(), QStringLiteral("cell\r\n"));
        QVERIFY(!box.document()->toRawText().contains(QChar::ObjectReplacementCharacter));
        for (const auto &props : formats(box))
            QVERIFY(!props.contains(QTextFormat::FontWeight));

        // Through the clipboard, as the user pastes.
        QApplication::clipboard()->setMimeData(new QMimeData);
        auto *clip = new QMimeData;
        clip->setHtml(QStringLiteral("<i>x</i><img src=\"y.png\">"));
        clip->setText(QStringLiteral("x"));
        QApplication::clipboard()->setMimeData(clip);
        box.paste();
        QCOMPARE(box.text(), QStringLiteral("cell\r\nx"));

        QMimeData imageOnly;
        imageOnly.setImageData(QImage(4, 4, QImage::Format_RGB32));
        QVERIFY(!box.canInsertFromMimeData(&imageOnly));
    }
};

QTEST_MAIN(RichTextBoxTest)
#include "tst_richtextbox.moc"
