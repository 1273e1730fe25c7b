#include "document/TextFiles.h"
#include "platform/files/CodePage.h"
#include "platform/textarea/LongLines.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"
#include "support/Modal.h"
#include "support/TextFormats.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace vellumo;

namespace {

// Letters with a blank now and then, as prose; no blank at all when `blanks` is false.
QString line(qsizetype length, bool blanks = true, int seed = 0)
{
    QString s(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i)
        s[i] =
            blanks && (i + seed) % 9 == 8 ? QChar(u' ') : QChar(char16_t(u'a' + (i + seed) % 26));
    return s;
}

// The pieces of text as the area holds them: block ends as U+2029, a join at every cut.
QString asBlocks(const QString &text, const std::vector<qsizetype> &cuts, std::vector<bool> &joins)
{
    QString raw;
    size_t next = 0;
    joins.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (next < cuts.size() && cuts[next] == i) {
            raw += QChar::ParagraphSeparator;
            joins.push_back(true);
            ++next;
        }
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            raw += QChar::ParagraphSeparator;
            joins.push_back(false);
        } else {
            raw += c;
        }
    }
    return raw;
}

// Up to maxLength characters: the alphabet's strings and x, which is drawn
// xWeight times as often as any one of them.
QString randomText(QRandomGenerator &random, const QStringList &alphabet, int maxLength,
                   int xWeight)
{
    QString text;
    const int length = random.bounded(maxLength);
    while (text.size() < length) {
        const int pick = random.bounded(alphabet.size() + xWeight);
        text += pick < alphabet.size() ? alphabet[pick] : QStringLiteral("x");
    }
    return text;
}

// Whether lengths holds the lines of each block of raw text, as the area holds it.
bool sameLengths(const LineLengths &lengths, const QString &raw)
{
    LineLengths expected;
    for (const QString &block : raw.split(QChar::ParagraphSeparator)) {
        for (const QString &line : block.split(QChar::LineSeparator))
            expected.lengths.push_back(quint16(line.size()));
        expected.blockEnds.push_back(qsizetype(expected.lengths.size()));
    }
    return lengths.lengths == expected.lengths && lengths.blockEnds == expected.blockEnds;
}

QString withLf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text.replace(QChar::LineSeparator, u'\n');
}

// A line of two and a half pieces whose first join falls just before "abc":
// the text around it reads "...vwxyz |abcdefgh...".
QString aroundJoin()
{
    return line(kMaxPieceChars - 15, false) + QStringLiteral("mnopqrstuvwxyz abcdefghijkl") +
           line(kMaxPieceChars, false);
}

// Offsets in text() at which a join stands.
QList<int> joinOffsets(const RichTextBox &box)
{
    QList<int> offsets;
    int offset = 0;
    for (QTextBlock b = box.document()->firstBlock(); b.isValid(); b = b.next()) {
        if (b != box.document()->firstBlock()) {
            if (RichTextBox::startsWithJoin(b))
                offsets.append(offset);
            else
                offset += 1; // texts here break lines with LF
        }
        offset += b.length() - 1;
    }
    return offsets;
}

// The document position of an offset in text(); at a join, before or after it.
int position(const RichTextBox &box, int offset, bool afterJoin)
{
    int position = offset;
    for (int join : joinOffsets(box))
        position += join < offset || (join == offset && afterJoin);
    return position;
}

void place(RichTextBox &box, int offset, bool afterJoin, int selected = 0)
{
    QTextCursor c(box.document());
    c.setPosition(position(box, offset, afterJoin));
    if (selected)
        c.setPosition(position(box, offset + selected, false), QTextCursor::KeepAnchor);
    box.setTextCursor(c);
}

enum class Edit { Type, Backspace, Delete, Enter, Paste, Cut };

} // namespace

Q_DECLARE_METATYPE(Edit)

class LongLinesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { test::verifyNoWindowLeft(); }

    void piecesCutOnlyLongLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxPiece");
        QTest::addColumn<QList<qsizetype>>("cuts");
        using Cuts = QList<qsizetype>;
        QTest::newRow("short lines") << QStringLiteral("abcd\r\nefgh\nij\rkl") << 4 << Cuts{};
        QTest::newRow("exactly the limit") << QStringLiteral("abcd") << 4 << Cuts{};
        QTest::newRow("one over") << QStringLiteral("abcde") << 4 << Cuts{4};
        QTest::newRow("no blanks") << QStringLiteral("abcdefghij") << 4 << Cuts{4, 8};
        QTest::newRow("after a blank") << QStringLiteral("ab cdefgh") << 4 << Cuts{3, 7};
        QTest::newRow("long line between short ones")
            << QStringLiteral("ab\r\nabcdefghij\r\ncd") << 4 << Cuts{8, 12};
        QTest::newRow("line separator stays in the line")
            << QStringLiteral("ab\u2028cdefg") << 4 << Cuts{4};
        QTest::newRow("paragraph separator ends it")
            << QStringLiteral("abc\u2029defg") << 4 << Cuts{};
        QTest::newRow("surrogate pair kept whole")
            << QStringLiteral("abc\U0001F600def") << 4 << Cuts{3, 7};
    }
    void piecesCutOnlyLongLines()
    {
        QFETCH(QString, text);
        QFETCH(int, maxPiece);
        QFETCH(QList<qsizetype>, cuts);
        const std::vector<qsizetype> got = pieceCuts(text, maxPiece);
        QCOMPARE(QList<qsizetype>(got.begin(), got.end()), cuts);
    }

    // Whatever the text, the pieces are short, the cuts fall inside lines and
    // between whole characters, and joining gives the text back.
    void piecesJoinBackToTheText()
    {
        const QStringList alphabet = {
            QStringLiteral(" "),      QStringLiteral("\t"),   QStringLiteral("\r"),
            QStringLiteral("\n"),     QStringLiteral("\r\n"), QStringLiteral("\u00A0"),
            QStringLiteral("\u2028"), QString(QChar(0)),      QStringLiteral("\U0001F600")};
        QRandomGenerator random(9);
        for (int round = 0; round < 400; ++round) {
            const QString text = randomText(random, alphabet, 200, 20);
            const int maxPiece = 2 + random.bounded(12);
            const std::vector<qsizetype> cuts = pieceCuts(text, maxPiece);
            std::vector<bool> joins;
            const QString raw = asBlocks(text, cuts, joins);
            for (const QString &block : raw.split(QChar::ParagraphSeparator))
                QVERIFY2(block.size() <= maxPiece, qPrintable(text));
            for (qsizetype cut : cuts) {
                QVERIFY(cut > 0 && cut < text.size());
                QVERIFY(!QStringLiteral("\r\n").contains(text[cut - 1]));
                QVERIFY(!QStringLiteral("\r\n").contains(text[cut]));
                QVERIFY(!text[cut].isLowSurrogate());
            }
            QCOMPARE(joinPieces(raw, joins, u"\n"), withLf(text));
        }
    }

    // Lines share blocks up to the limit, a block ends only where the next
    // line would not fit, chunks end at block ends, and the text survives.
    void shortLinesShareBlocks()
    {
        const QStringList alphabet = {QStringLiteral("\r"),     QStringLiteral("\n"),
                                      QStringLiteral("\r\n"),   QStringLiteral("\u2029"),
                                      QStringLiteral("\u2028"), QStringLiteral(" ")};
        QRandomGenerator random(11);
        for (int round = 0; round < 400; ++round) {
            const QString text = randomText(random, alphabet, 300, 12);
            const int maxBlock = 1 + random.bounded(20);
            const int minChars = 1 + random.bounded(60);
            QString all;
            qsizetype at = 0;
            do {
                QString chunk;
                const qsizetype next = groupLines(text, at, minChars, chunk, maxBlock);
                QVERIFY(next > at || text.isEmpty());
                if (next < text.size()) {
                    QVERIFY(chunk.size() >= minChars);
                    QVERIFY(chunk.endsWith(QChar::ParagraphSeparator));
                }
                all += chunk;
                at = next;
            } while (at < text.size());
            QCOMPARE(joinPieces(all, {}, u"\n"), withLf(text));

            // Line separators typed into the text would blur where lines end.
            if (text.contains(QChar::LineSeparator))
                continue;
            const QStringList blocks = all.split(QChar::ParagraphSeparator);
            for (qsizetype b = 0; b < blocks.size(); ++b) {
                if (blocks[b].contains(QChar::LineSeparator))
                    QVERIFY2(blocks[b].size() <= maxBlock, "lines grouped past the limit");
                if (b + 1 < blocks.size()) {
                    const QString nextLine = blocks[b + 1].section(QChar::LineSeparator, 0, 0);
                    QVERIFY2(blocks[b].size() + 1 + nextLine.size() > maxBlock,
                             "a block ended where the next line still fitted");
                }
            }
        }
    }

    // Bytes that arrive a few at a time, a CR LF split between two arrivals or none arriving,
    // make runs of the whole text's lines, with the lengths of each block's lines.
    void runsTakeInLinesAsTheyArrive()
    {
        const QStringList alphabet = {QStringLiteral("\r"), QStringLiteral("\n"),
                                      QStringLiteral("\r\n"), QStringLiteral(" "),
                                      QString(kMaxPieceChars + 9, u'y')};
        QRandomGenerator random(13);
        qsizetype early = 0; // taken before the whole text had arrived
        for (int round = 0; round < 200; ++round) {
            const QByteArray bytes = randomText(random, alphabet, 20000, 60).toLatin1();
            LineLengths lengths;
            TextRuns runs(SingleByteText{bytes, &cp1252Decoding()}, &lengths, 0);
            QString raw;
            std::vector<bool> joins;
            Run run;
            for (qsizetype arrived = 0;; arrived += random.bounded(3000)) {
                runs.arrive(std::min(arrived, bytes.size()));
                while (runs.next(run)) {
                    joins.insert(joins.end(), run.text.count(QChar::ParagraphSeparator), false);
                    raw += run.text;
                    early += arrived < bytes.size() ? run.text.size() : 0;
                    if (run.join) {
                        raw += QChar::ParagraphSeparator;
                        joins.push_back(true);
                    }
                }
                if (arrived >= bytes.size())
                    break;
            }
            const QString text = QString::fromLatin1(bytes);
            QCOMPARE(joinPieces(raw, joins, u"\n"), withLf(text));
            QCOMPARE(runs.lineBreak(), firstLineBreak(text));
            QVERIFY(bytes.isEmpty() || sameLengths(lengths, raw));
        }
        QVERIFY(early > 0);
    }

    void joinsLeaveNothingAndBreaksTakeTheirForm()
    {
        const QString raw = QStringLiteral("ab\u2029cd\u2029ef\u2028gh\u2029");
        QCOMPARE(joinPieces(raw, {true, false, true}, u"\r\n"), QStringLiteral("abcd\r\nef\r\ngh"));
        QCOMPARE(joinPieces(raw, {}, u"\r"), QStringLiteral("ab\rcd\ref\rgh\r"));
        QCOMPARE(joinPieces(raw, {true, true, true}, u"\n"), QStringLiteral("abcdef\ngh"));
    }

    void longLinesComeBackExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("one line") << line(3 * kMaxPieceChars + 17);
        QTest::newRow("no blanks") << line(2 * kMaxPieceChars + 1, false);
        QTest::newRow("between short crlf lines") << QStringLiteral("first\r\n") +
                                                         line(kMaxPieceChars * 2) +
                                                         QStringLiteral("\r\nlast\r\n");
        QTest::newRow("lf, ending in a long line")
            << QStringLiteral("a\n\n") + line(kMaxPieceChars + 1);
        QString everyCharacter;
        for (int i = 0; i < 3 * kMaxPieceChars; ++i) {
            const char byte = char(i % 256);
            if (byte != '\r' && byte != '\n')
                everyCharacter += decodeCp1252(QByteArrayView(&byte, 1));
        }
        QTest::newRow("every character") << everyCharacter;
        // Parts end between blocks of grouped short lines, or between pieces.
        QString parts = line(2 * kMaxPieceChars + 5);
        for (int i = 0; parts.size() < 3 << 20; ++i)
            parts += QStringLiteral("\r\nshort line %1").arg(i);
        QTest::newRow("more than a part of a save, short lines") << parts;
        parts.clear();
        while (parts.size() < 3 << 20)
            parts += line(2 * kMaxPieceChars + 5) + QStringLiteral("\r\n");
        QTest::newRow("more than a part of a save, long lines") << parts;
        // Taken in a stretch at a time: a CR LF across the first one's limit, lines past it.
        const qsizetype stretch = TextRuns::kStretchChars;
        QTest::newRow("lines longer than a stretch")
            << line(stretch - 1) + "\r\n" + line(stretch + 3) + "\r\nlast";
    }
    void longLinesComeBackExactly()
    {
        QFETCH(QString, text);
        RichTextBox box;
        box.setText(text);
        bool joined = false;
        for (QTextBlock b = box.document()->firstBlock(); b.isValid(); b = b.next()) {
            QVERIFY(b.length() - 1 <= kMaxPieceChars);
            joined = joined || RichTextBox::startsWithJoin(b);
        }
        QVERIFY(joined);
        QCOMPARE(box.text(), text);
        // What a save writes, part by part.
        QString parts;
        int count = 0;
        QVERIFY(box.forEachPart([&](QStringView part) {
            parts += part;
            return ++count > 0;
        }));
        QCOMPARE(parts, text);
        QVERIFY(count > text.size() >> 21);
        box.selectAll();
        QCOMPARE(box.text(), text);
    }

    // Lines that share a block edit as lines: keys move over them, and Enter,
    // Shift+Enter and Backspace over a break come back as the text's breaks.
    void groupedLinesEditAsLines()
    {
        QStringList lines;
        for (int i = 0; i < 3000; ++i)
            lines << QStringLiteral("line %1").arg(i);
        RichTextBox box;
        box.setText(lines.join(QStringLiteral("\r\n")));
        QVERIFY(box.document()->blockCount() * 20 < lines.size());
        QCOMPARE(box.text(), lines.join(QStringLiteral("\r\n")));

        auto goTo = [&box](int line) {
            box.moveCursor(QTextCursor::Start);
            for (int i = 0; i < line; ++i)
                QTest::keyClick(&box, Qt::Key_Down);
        };
        goTo(5);
        QTest::keyClick(&box, Qt::Key_End);
        QTest::keyClicks(&box, "!");
        lines[5] += u'!';
        goTo(7);
        QTest::keyClick(&box, Qt::Key_Backspace);
        lines[6] += lines.takeAt(7);
        goTo(9);
        QTest::keyClick(&box, Qt::Key_Right);
        QTest::keyClick(&box, Qt::Key_Return);
        lines.insert(10, lines[9].mid(1));
        lines[9].truncate(1);
        goTo(12);
        QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier);
        lines.insert(12, QString());
        QCOMPARE(box.text(), lines.join(QStringLiteral("\r\n")));
    }

    // A triple click selects the line, not the block it shares with others.
    // (Ctrl+K, bound only in the X11 scheme, is tested end to end.)
    void tripleClickSelectsTheLine()
    {
        QStringList lines;
        for (int i = 0; i < 100; ++i)
            lines << QStringLiteral("line %1 of the text").arg(i);
        RichTextBox box;
        box.resize(400, 300);
        box.setText(lines.join(u'\n'));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.document()->blockCount(), 1);

        const int lineStart = int(lines.mid(0, 5).join(u'\n').size()) + 1;
        QTextCursor c(box.document());
        c.setPosition(lineStart + 6);
        const QPoint point = box.cursorRect(c).center();
        QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, point);
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, point);
        QCOMPARE(box.textCursor().selectedText(), lines[5] + QChar::LineSeparator);
    }

    void editsAcrossJoinsKeepTheText_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("from"); // offset from the join
        QTest::addColumn<bool>("afterJoin");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected"); // the 8 characters around the join
        // The expected text is the model's "xyz abcd" around the join, after the edit.
        auto row = [](const char *name, Edit edit, int from, bool afterJoin, int selected,
                      const QString &input, const char *expected) {
            QTest::newRow(name) << edit << from << afterJoin << selected << input
                                << QString(expected);
        };
        row("type before", Edit::Type, 0, false, 0, "12", "xyz 12ab");
        row("type after", Edit::Type, 0, true, 0, "12", "xyz 12ab");
        row("backspace after", Edit::Backspace, 0, true, 0, "", "xyzabcde");
        row("backspace before", Edit::Backspace, 0, false, 0, "", "xyzabcde");
        row("delete before", Edit::Delete, 0, false, 0, "", "xyz bcde");
        row("delete after", Edit::Delete, 0, true, 0, "", "xyz bcde");
        row("delete selection", Edit::Delete, -2, false, 4, "", "xycdefgh");
        row("type over selection", Edit::Type, -2, false, 4, "Q", "xyQcdefg");
        row("enter before", Edit::Enter, 0, false, 0, "", "xyz \nabc");
        row("enter after", Edit::Enter, 0, true, 0, "", "xyz \nabc");
        row("enter inside", Edit::Enter, 2, false, 0, "", "xyz ab\nc");
        row("enter over selection", Edit::Enter, -1, false, 2, "", "xyz\nbcde");
        row("paste lines over selection", Edit::Paste, -1, false, 2, "1\n2", "xyz1\n2bc");
        row("paste a long line", Edit::Paste, 0, true, 0, line(kMaxPieceChars * 3), "");
        row("cut and paste", Edit::Cut, -2, false, 4, "", "xycdefgh");
    }
    void editsAcrossJoinsKeepTheText()
    {
        QFETCH(Edit, edit);
        QFETCH(int, from);
        QFETCH(bool, afterJoin);
        QFETCH(int, selected);
        QFETCH(QString, input);
        QFETCH(QString, expected);

        const QString original = QStringLiteral("head\n") + aroundJoin() + QStringLiteral("\ntail");
        RichTextBox box;
        box.setText(original);
        const int join = joinOffsets(box).value(0, -1);
        QVERIFY(join > 0);
        QCOMPARE(original.mid(join - 4, 8), QStringLiteral("xyz abcd"));

        QString model = original;
        const int at = join + from;
        place(box, at, afterJoin, selected);
        switch (edit) {
        case Edit::Type:
            QTest::keyClicks(&box, input);
            model.replace(at, selected, input);
            break;
        case Edit::Backspace:
            QTest::keyClick(&box, Qt::Key_Backspace);
            selected ? model.remove(at, selected) : model.remove(at - 1, 1);
            break;
        case Edit::Delete:
            QTest::keyClick(&box, Qt::Key_Delete);
            model.remove(at, selected ? selected : 1);
            break;
        case Edit::Enter:
            QTest::keyClick(&box, Qt::Key_Return);
            model.replace(at, selected, QStringLiteral("\n"));
            break;
        case Edit::Paste:
            QApplication::clipboard()->setText(input);
            box.paste();
            model.replace(at, selected, input);
            break;
        case Edit::Cut:
            box.cut();
            QCOMPARE(QApplication::clipboard()->text(), original.mid(at, selected));
            model.remove(at, selected);
            QCOMPARE(box.text(), model);
            place(box, join + 100, false);
            box.paste();
            model.insert(join + 100, original.mid(at, selected));
            break;
        default:
            QFAIL("not an edit");
        }
        QCOMPARE(box.text(), model);
        if (!expected.isEmpty())
            QCOMPARE(model.mid(join - 4, 8), expected);

        // Undo and redo bring back exactly what was there.
        while (box.document()->isUndoAvailable())
            box.undo();
        QCOMPARE(box.text(), original);
        while (box.document()->isRedoAvailable())
            box.redo();
        QCOMPARE(box.text(), model);
    }

    void stepsOverAJoinAsOverNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("afterJoin");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("selection");
        const int none = Qt::NoModifier;
        const int shift = Qt::ShiftModifier;
        QTest::newRow("right") << int(Qt::Key_Right) << none << false << 1 << QString();
        QTest::newRow("left") << int(Qt::Key_Left) << none << true << -1 << QString();
        QTest::newRow("shift right") << int(Qt::Key_Right) << shift << false << 1 << "a";
        QTest::newRow("shift left") << int(Qt::Key_Left) << shift << true << -1 << " ";
    }
    void stepsOverAJoinAsOverNothing()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, afterJoin);
        QFETCH(int, offset);
        QFETCH(QString, selection);
        RichTextBox box;
        box.setText(aroundJoin());
        const int join = joinOffsets(box).value(0);
        place(box, join, afterJoin);
        QTest::keyClick(&box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(box.textCursor().position(), position(box, join + offset, false));
        QCOMPARE(box.textCursor().hasSelection(), !selection.isEmpty());
        if (!selection.isEmpty()) {
            box.copy(); // what the selection holds for the user
            QCOMPARE(QApplication::clipboard()->text(), selection);
        }
    }

    // A piece emptied of its text gets its typing format from the join before
    // it; a block end typed there is still a line break.
    void anEmptiedPieceTakesTypingAndEnter()
    {
        RichTextBox box;
        const QString original = line(3 * kMaxPieceChars, true, 5);
        box.setText(original);
        QTextBlock second = box.document()->firstBlock().next();
        const int offset = second.position() - 1;
        QTextCursor c(second);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        const int removed = c.selectedText().size();
        box.setTextCursor(c);
        QTest::keyClick(&box, Qt::Key_Delete);
        QTest::keyClicks(&box, "x");
        QTest::keyClick(&box, Qt::Key_Return);
        QTest::keyClicks(&box, "y");
        box.setSelColor(0x0000FF);
        QTest::keyClicks(&box, "z");
        QString model = original;
        model.replace(offset, removed, QStringLiteral("x\r\nyz"));
        QCOMPARE(box.text(), model);
    }

    // Beside pieces emptied of text, Backspace and Delete take the character past them.
    void keysBesideEmptiedPiecesTakeTheCharacterPastThem_data()
    {
        QTest::addColumn<int>("emptied"); // pieces, from the second on
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("taken"); // the character's offset from where they stood
        const int backspace = Qt::Key_Backspace, del = Qt::Key_Delete;
        QTest::newRow("Backspace after one") << 1 << backspace << -1;
        QTest::newRow("Delete before one") << 1 << del << 0;
        QTest::newRow("Backspace after two") << 2 << backspace << -1;
        QTest::newRow("Delete before two") << 2 << del << 0;
    }
    void keysBesideEmptiedPiecesTakeTheCharacterPastThem()
    {
        QFETCH(int, emptied);
        QFETCH(int, key);
        QFETCH(int, taken);
        RichTextBox box;
        const QString original = line(kMaxPieceChars * 7 / 2, true, 5);
        box.setText(original);
        const QTextBlock first = box.document()->firstBlock();
        const int start = first.length() - 1; // where the second piece stood
        int removed = 0;
        QTextBlock piece = first;
        for (int i = 0; i < emptied; ++i) {
            piece = piece.next();
            QTextCursor c(piece);
            c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            removed += int(c.selectedText().size());
            c.removeSelectedText();
        }
        QTextCursor at(key == Qt::Key_Backspace ? piece.next() : first);
        if (key == Qt::Key_Delete)
            at.movePosition(QTextCursor::EndOfBlock);
        box.setTextCursor(at);
        QTest::keyClick(&box, Qt::Key(key));
        QCOMPARE(box.text(), QString(original).remove(start, removed).remove(start + taken, 1));
    }

    void formattingAcrossAJoinChangesOnlyTheSelection()
    {
        RichTextBox box;
        const QString original = line(2 * kMaxPieceChars, true, 5);
        box.setText(original);
        const int join = joinOffsets(box).value(0);
        place(box, join - 3, false, 6);
        box.setSelColor(0x0000FF);
        box.setSelFontSize(20);
        box.setSelBold(true);
        QCOMPARE(box.text(), original);
        const int from = position(box, join - 3, false);
        const int to = position(box, join + 3, false);
        const auto formats = test::charFormats(box);
        for (int pos = from - 2; pos < to + 2; ++pos) {
            if (!formats.contains(pos))
                continue; // the join itself
            const bool inside = pos >= from && pos < to;
            QCOMPARE(formats[pos].contains(QTextFormat::ForegroundBrush), inside);
            QCOMPARE(formats[pos].contains(QTextFormat::FontWeight), inside);
        }
        box.selectAll();
        box.setSelItalic(true);
        QCOMPARE(box.text(), original);
        QVERIFY(joinOffsets(box).contains(join));
    }

    void copiedTextHasNoJoins()
    {
        RichTextBox box;
        const QString original = line(2 * kMaxPieceChars, true, 5) + QStringLiteral("\r\n\u00A0x");
        box.setText(original);
        box.selectAll();
        box.copy();
        QCOMPARE(QApplication::clipboard()->text(), withLf(original));
    }

    // The save looks past ASCII stretches quickly; the question must still
    // name the first character the file cannot hold, wherever it is.
    void theSaveQuestionNamesTheFirstUnsavableCharacter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        const QString ascii(70000, u'a');
        QTest::newRow("after a long ASCII stretch")
            << ascii + QStringLiteral("\u0100b\u4E00") << QStringLiteral("U+0100");
        QTest::newRow("before it, beside cp1252 letters")
            << QStringLiteral("\u20AC\u4E00") + ascii << QStringLiteral("U+4E00");
        QTest::newRow("a pair across stretches")
            << QString(65535, u'a') + QStringLiteral("\U0001F600") << QStringLiteral("U+1F600");
    }
    void theSaveQuestionNamesTheFirstUnsavableCharacter()
    {
        QFETCH(QString, text);
        QFETCH(QString, named);
        QTemporaryDir dir;
        test::FakePlatform platform;
        platform.messageBox.answers = {kAnswerNo};
        CommonDialog dialog(platform.dialogs, nullptr);
        RichTextBox area;
        area.setText(text);
        platform.dialogs.choose(dir.filePath(QStringLiteral("out.txt")));
        QVERIFY(!saveTextFile(dialog, area, platform.files, platform.messageBox, platform.progress)
                     .saved);
        QCOMPARE(platform.messageBox.calls.size(), 1);
        QVERIFY2(platform.messageBox.calls[0].prompt.contains(named + u')'),
                 qPrintable(platform.messageBox.calls[0].prompt));
    }

    // Load, select all, format, save: the file comes back byte for byte.
    void aLongLineFileSavesBackByteForByte()
    {
        QByteArray bytes;
        QRandomGenerator random(3);
        while (bytes.size() < 5 * kMaxPieceChars) {
            const char b = char(random.bounded(256));
            if (b != '\r' && b != '\n')
                bytes.append(b);
        }
        bytes += "\r\nshort\r\n" + bytes.left(2 * kMaxPieceChars);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.txt"));
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        QVERIFY(test::writeFile(in, bytes));

        test::FakePlatform platform;
        CommonDialog dialog(platform.dialogs, nullptr);
        RichTextBox area;
        platform.dialogs.choose(in);
        QVERIFY(loadTextFile(dialog, area, platform.files, platform.progress).text);
        QVERIFY(area.document()->blockCount() > 7);
        area.selectAll();
        area.setSelColor(0x00FF00);
        platform.dialogs.choose(out);
        QVERIFY(saveTextFile(dialog, area, platform.files, platform.messageBox, platform.progress)
                    .saved);
        QCOMPARE(test::readFile(out), bytes + "\r\n");
    }
};

QTEST_MAIN(LongLinesTest)
#include "tst_longlines.moc"
