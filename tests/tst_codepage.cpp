#include "platform/files/CodePage.h"
#include "support/FaultFixtures.h"

#include <QProcess>
#include <QtTest>

using namespace vellumo;
using vellumo::test::allBytes;

namespace {

const QList<unsigned char> kUndefinedBytes = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

// glibc's converter, as an independent reference. Returns UTF-16 code units, or nothing if
// iconv refused the input.
std::optional<QString> iconvDecode(const QByteArray &bytes)
{
    QProcess iconv;
    iconv.start(QStringLiteral("iconv"), {QStringLiteral("-f"), QStringLiteral("CP1252"),
                                          QStringLiteral("-t"), QStringLiteral("UTF-16LE")});
    if (!iconv.waitForStarted())
        return std::nullopt;
    iconv.write(bytes);
    iconv.closeWriteChannel();
    if (!iconv.waitForFinished() || iconv.exitStatus() != QProcess::NormalExit ||
        iconv.exitCode() != 0)
        return std::nullopt;
    const QByteArray out = iconv.readAllStandardOutput();
    QString text(out.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(uchar(out[2 * i]) | (uchar(out[2 * i + 1]) << 8)));
    return text;
}

QString hex(QStringView text)
{
    QStringList units;
    for (QChar c : text)
        units << QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    return units.join(u' ');
}

} // namespace

class TestCodePage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void definedBytesMatchIconv();
    void undefinedBytesAreSameNumberedControls();
    void everyByteRoundTrips();
    void encodesCharacters_data();
    void encodesCharacters();
    void encodesInPieces();
};

void TestCodePage::definedBytesMatchIconv()
{
    QByteArray defined;
    for (int b = 0; b < 256; ++b) {
        if (!kUndefinedBytes.contains(uchar(b)))
            defined.append(char(b));
    }
    QCOMPARE(defined.size(), 251);

    const std::optional<QString> reference = iconvDecode(defined);
    QVERIFY2(reference.has_value(), "iconv could not convert the defined bytes");
    QCOMPARE(reference->size(), defined.size());

    const QString ours = decodeCp1252(defined);
    for (qsizetype i = 0; i < defined.size(); ++i) {
        QVERIFY2(ours[i] == reference->at(i),
                 qPrintable(QStringLiteral("byte 0x%1: %2, iconv says %3")
                                .arg(uchar(defined[i]), 2, 16, QLatin1Char('0'))
                                .arg(hex(ours.mid(i, 1)), hex(reference->mid(i, 1)))));
    }

    // iconv agreeing that the other five are undefined confirms which five they are.
    for (unsigned char b : kUndefinedBytes)
        QVERIFY2(!iconvDecode(QByteArray(1, char(b))).has_value(),
                 qPrintable(QString::number(b, 16)));
}

void TestCodePage::undefinedBytesAreSameNumberedControls()
{
    for (unsigned char b : kUndefinedBytes) {
        const QString decoded = decodeCp1252(QByteArray(1, char(b)));
        QCOMPARE(decoded.size(), 1);
        QCOMPARE(decoded[0].unicode(), char16_t(b));
    }
    QCOMPARE(decodeCp1252(QByteArray(1, '\0')), QString(QChar(0)));
}

void TestCodePage::everyByteRoundTrips()
{
    const QByteArray bytes = allBytes();
    const QString text = decodeCp1252(bytes);
    QCOMPARE(text.size(), 256);
    QCOMPARE(firstUnencodableCp1252(text), -1);
    QCOMPARE(encodeCp1252(text), bytes);

    // The code page has 256 distinct characters, otherwise a byte would be lost on saving.
    QSet<QChar> distinct(text.begin(), text.end());
    QCOMPARE(distinct.size(), 256);
}

void TestCodePage::encodesCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("firstBad"); // -1: every character fits
    QTest::addColumn<QByteArray>("bytes");
    auto fits = [](const char *name, const QString &text, const QByteArray &bytes) {
        QTest::newRow(name) << text << qsizetype(-1) << bytes;
    };

    fits("ascii", QStringLiteral("Hello, world!\r\n"), "Hello, world!\r\n");
    fits("nul", QString(QChar(0)), QByteArray(1, '\0'));
    fits("euro sign", QString(QChar(0x20AC)), "\x80");
    fits("mixed", QStringLiteral("caf\u00E9 \u2013 5\u20AC"), "caf\xE9 \x96 5\x80");

    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // U+1F600, a surrogate pair
    auto replaced = [](const char *name, const QString &text, qsizetype firstBad,
                       const QByteArray &bytes) {
        QTest::newRow(name) << text << firstBad << bytes;
    };
    replaced("A with macron", QStringLiteral("ab\u0100c"), 2, "ab?c");
    replaced("line separator", QStringLiteral("\u2028"), 0, "?");
    replaced("replacement char", QStringLiteral("x\uFFFDy"), 1, "x?y");
    replaced("C1 control whose byte is the euro sign", QString(QChar(0x0080)), 0, "?");
    replaced("emoji is one character", QStringLiteral("\u20AC") + emoji + u'!', 1, "\x80?!");
    replaced("two emoji", emoji + emoji, 0, "??");
    replaced("lone high surrogate at end", QStringLiteral("ok") + QChar(0xD83D), 2, "ok?");
    replaced("lone low surrogate", QChar(0xDE00) + QStringLiteral("a"), 0, "?a");
    replaced("reversed pair is two characters", QString(QChar(0xDE00)) + QChar(0xD83D), 0, "??");
    replaced("first of several", QStringLiteral("\u00E9\u20AC\u0100\u2028"), 2, "\xE9\x80??");
}

void TestCodePage::encodesCharacters()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, firstBad);
    QFETCH(QByteArray, bytes);

    QCOMPARE(firstUnencodableCp1252(text), firstBad);
    QCOMPARE(encodeCp1252(text), bytes);
    if (firstBad < 0)
        QCOMPARE(decodeCp1252(bytes), text);
    // The raw encoder stays within text.size() bytes and reports what it wrote.
    QByteArray buffer(text.size() + 4, '#');
    const qsizetype written = encodeCp1252Into(text, buffer.data());
    QCOMPARE(written, bytes.size());
    QCOMPARE(buffer.left(written), bytes);
    QCOMPARE(buffer.mid(text.size()), QByteArray(4, '#'));
}

void TestCodePage::encodesInPieces()
{
    // The file layer decodes and encodes big texts piecewise, into one buffer.
    QByteArray bytes;
    for (int i = 0; i < 40; ++i)
        bytes += allBytes();

    QString text(bytes.size(), QChar(u'#'));
    for (qsizetype at = 0; at < bytes.size(); at += 1000)
        decodeCp1252Into(QByteArrayView(bytes).sliced(at, qMin<qsizetype>(1000, bytes.size() - at)),
                         text.data() + at);
    QCOMPARE(text, decodeCp1252(bytes));

    QByteArray encoded(bytes.size(), '#');
    qsizetype written = 0;
    for (qsizetype at = 0; at < text.size(); at += 777)
        written +=
            encodeCp1252Into(QStringView(text).sliced(at, qMin<qsizetype>(777, text.size() - at)),
                             encoded.data() + written);
    QCOMPARE(written, bytes.size());
    QCOMPARE(encoded, bytes);
}

QTEST_GUILESS_MAIN(TestCodePage)
#include "tst_codepage.moc"
