#include "Suite.h"

#include "Common.h"

#include <QTextStream>

namespace vellumo::bench {

// Peak memory after loading 100 MB, over the file's size, before a load took two threads.
constexpr double kPeakBefore = 3.45;

int Suite::run()
{
    const int keys = m_o.quick ? 5 : 100;
    const QString n = QString::number(keys);

    startUp();

    for (const qint64 size : {1, 10, 100, 256}) {
        if (m_o.quick && size == 256)
            continue;
        const QString figure = QStringLiteral("load %1").arg(sizeText(size));
        if (!wanted(figure))
            continue;
        const QString path = file(Kind::Lines, mb(size));
        pair(figure, {QStringLiteral("load"), path}, {QStringLiteral("bare-load"), path},
             QStringLiteral("bare QPlainTextEdit::setPlainText"), 1.2, QStringLiteral("< 1.2x"));
        if (size == 100) {
            const Runs v = m_measured[QStringLiteral("load ") + path];
            add({QStringLiteral("load 100 MB, time"), median(v.ms), 10000, QStringLiteral("10 s"),
                 1, QStringLiteral("well under 10 s"), median(v.peakKb) / 1024.0});
        }
        if (size < 100)
            pair(figure + QStringLiteral(" (against reading)"), {QStringLiteral("load"), path},
                 {QStringLiteral("read"), path}, QStringLiteral("reading and decoding alone"), 0,
                 QStringLiteral("for information"));
    }
    // The big files: time against reading, memory against the file, and the save's peak
    // against the load's. A gibibyte is left out of quick runs.
    for (const qint64 size : {100, 1024}) {
        if (m_o.quick && size == 1024)
            continue;
        const QString path = file(Kind::Lines, mb(size));
        const QString loadFigure = QStringLiteral("load %1 (against reading)").arg(sizeText(size));
        if (wanted(loadFigure)) {
            pair(loadFigure, {QStringLiteral("load"), path}, {QStringLiteral("read"), path},
                 QStringLiteral("reading and decoding alone"), 2.5, QStringLiteral("≤ 2.5x"));
            const Runs &v = m_measured[QStringLiteral("load ") + path];
            if (!v.peakKb.empty()) {
                Row memory{QStringLiteral("peak memory after loading %1").arg(sizeText(size)),
                           median(v.peakKb) / 1024.0,
                           double(mb(size)) / kMB,
                           QStringLiteral("the file's size"),
                           kPeakBefore,
                           QStringLiteral("≤ %1x, as before").arg(kPeakBefore),
                           median(v.peakKb) / 1024.0,
                           QStringLiteral("MB")};
                memory.detail[QStringLiteral("vellumo_peak_kb")] = toJson(v.peakKb);
                add(memory);
            }
        }
        paintGaps(QStringLiteral("load"), size);
        paintGaps(QStringLiteral("save"), size);
        const QString saveFigure = QStringLiteral("save %1").arg(sizeText(size));
        pair(saveFigure, {QStringLiteral("save"), path}, {QStringLiteral("bare-save"), path},
             QStringLiteral("encode, write a temporary file, one sync, rename"), 1.5,
             QStringLiteral("< 1.5x"));
        // The save's child loads the file first: its peak is the higher of the two.
        const Runs &saved = m_measured[QStringLiteral("save ") + path];
        const Runs &loaded = m_measured[QStringLiteral("load ") + path];
        if (wanted(saveFigure) && !saved.peakKb.empty() && !loaded.peakKb.empty()) {
            const double peak = median(saved.peakKb) / 1024.0;
            add({QStringLiteral("peak memory while saving %1").arg(sizeText(size)), peak,
                 median(loaded.peakKb) / 1024.0, QStringLiteral("the load's peak"), 1,
                 QStringLiteral("≤ 1x"), peak, QStringLiteral("MB")});
        }
    }
    if (!m_o.quick) {
        paintGaps(QStringLiteral("load"), 256);
        paintGaps(QStringLiteral("save"), 256);
    }
    paintGaps(QStringLiteral("print"), 10);

    const QString ten = file(Kind::Lines, mb(10));
    pair(QStringLiteral("select all and colour, %1").arg(sizeText(10)),
         {QStringLiteral("colour"), ten}, {QStringLiteral("bare-colour"), ten},
         QStringLiteral("the same on a bare QPlainTextEdit"), 1.2, QStringLiteral("< 1.2x"));
    pair(QStringLiteral("select all and set a font, %1").arg(sizeText(10)),
         {QStringLiteral("font"), ten}, {QStringLiteral("bare-font"), ten},
         QStringLiteral("the same on a bare QPlainTextEdit"), 1.2, QStringLiteral("< 1.2x"));
    for (const char *where : {"start", "middle", "end"}) {
        const QString at = QString::fromLatin1(where);
        pair(QStringLiteral("type a key at the %1 of %2").arg(at, sizeText(10)),
             {QStringLiteral("type"), ten, at, n}, {QStringLiteral("bare-type"), ten, at, n},
             QStringLiteral("the same on a bare QPlainTextEdit"), 0, QStringLiteral("< 16 ms"));
    }

    // The print text: as many lines as make 1000 pages on Vellumo's printer.
    const QString printFigure = QStringLiteral("print %1 pages to PDF").arg(m_o.quick ? 5 : 1000);
    if (wanted(printFigure)) {
        const qint64 probeLines = m_o.quick ? 200 : 3000;
        const Runs probe =
            measure({QStringLiteral("print"), file(Kind::Lines, probeLines * kLineBytes)}, 1);
        const qint64 perPage = probe.pages > 0 ? probeLines / probe.pages : 60;
        const QString text = file(Kind::Lines, perPage * (m_o.quick ? 5 : 1000) * kLineBytes);
        pair(printFigure, {QStringLiteral("print"), text}, {QStringLiteral("bare-print"), text},
             QStringLiteral("QTextDocument::print, same text and printer"), 0,
             QStringLiteral("for information"));
    }

    // Long lines.
    for (const qint64 size : {1, 10}) {
        const QString line = file(Kind::OneLine, mb(size));
        const QString lines = file(Kind::Lines, mb(size));
        const QString s = sizeText(size);
        if (size == 1)
            pair(QStringLiteral("load a %1 single line").arg(s), {QStringLiteral("load"), line},
                 {QStringLiteral("bare-load"), line},
                 QStringLiteral("bare QPlainTextEdit, same line"), 0,
                 QStringLiteral("for information"));
        else
            pair(QStringLiteral("load a %1 single line").arg(s), {QStringLiteral("load"), line},
                 {QStringLiteral("load"), lines},
                 QStringLiteral("Vellumo loading %1 of short lines").arg(s), 3,
                 QStringLiteral("< 3x"));
        pair(QStringLiteral("type a key in the middle of a %1 single line").arg(s),
             {QStringLiteral("type"), line, QStringLiteral("middle"), n},
             {QStringLiteral("bare-type"), lines, QStringLiteral("middle"), n},
             QStringLiteral("bare QPlainTextEdit, %1 of short lines").arg(s), 0,
             QStringLiteral("< 50 ms"));
        pair(QStringLiteral("save a %1 single line").arg(s), {QStringLiteral("save"), line},
             {QStringLiteral("bare-save"), line},
             QStringLiteral("encode, write a temporary file, one sync, rename"), 0,
             QStringLiteral("byte for byte"));
    }

    scrollBar();

    // Every byte value.
    const QString bytes = file(Kind::AllBytes, mb(10));
    pair(QStringLiteral("load %1 of all 256 byte values").arg(sizeText(10)),
         {QStringLiteral("load"), bytes}, {QStringLiteral("bare-load"), bytes},
         QStringLiteral("bare QPlainTextEdit::setPlainText"), 1.2, QStringLiteral("< 1.2x"));
    pair(QStringLiteral("save %1 of all 256 byte values").arg(sizeText(10)),
         {QStringLiteral("save"), bytes}, {QStringLiteral("bare-save"), bytes},
         QStringLiteral("encode, write a temporary file, one sync, rename"), 1.5,
         QStringLiteral("< 1.5x, byte for byte"));

    // The choice of widget: QTextEdit lays out every line before it is idle.
    for (const qint64 size : {1, 10}) {
        const QString path = file(Kind::Lines, mb(size));
        pair(QStringLiteral("widget choice: QTextEdit loading %1").arg(sizeText(size)),
             {QStringLiteral("textedit-load"), path}, {QStringLiteral("bare-load"), path},
             QStringLiteral("bare QPlainTextEdit"), 0, QStringLiteral("for information"));
    }

    // The commands a user gives on a big text, each watched from outside the program.
    for (const qint64 size : {100, 1024})
        if (!m_o.quick || size == 100)
            commands(size);

    const QString t = table();
    QTextStream(stdout) << t;
    writeJson();
    if (!m_o.readme.isEmpty())
        writeReadme(t);
    return m_failed ? 1 : 0;
}

// How true the vertical scroll bar is, and how soon a drag shows its place.
void Suite::scrollBar()
{
    const QString lines = file(Kind::Lines, mb(100));
    const QString floorLines = file(Kind::Lines, mb(10));
    for (const bool oneLine : {false, true}) {
        const QString path = oneLine ? file(Kind::OneLine, mb(10)) : lines;
        const QString text = oneLine ? QStringLiteral("a %1 single line").arg(sizeText(10))
                                     : QStringLiteral("%1 of short lines").arg(sizeText(100));
        const QString qtBar = QStringLiteral("Qt's own bar on the same blocks");
        const QString thumbFigure =
            QStringLiteral("scroll bar thumb off the view in %1, worst of 10 places").arg(text);
        if (wanted(thumbFigure)) {
            QTextStream(stderr) << "measuring " << thumbFigure << '\n';
            // The same every run: once is enough.
            const Runs t = measure({QStringLiteral("thumb"), path}, 1);
            if (!t.ms.empty()) {
                const double peak = t.peakKb.front() / 1024.0;
                Row thumb{thumbFigure,
                          t.ms.front(),
                          t.more[QStringLiteral("qt_thumb_error")].toDouble(),
                          qtBar,
                          0,
                          QStringLiteral("< 1 %"),
                          peak,
                          QStringLiteral("%")};
                thumb.detail = t.more;
                add(thumb);
                Row paged{
                    QStringLiteral("scroll bar thumb off the view after 200 Page Downs through %1")
                        .arg(text),
                    t.more[QStringLiteral("paged_thumb_error")].toDouble(),
                    t.more[QStringLiteral("qt_paged_thumb_error")].toDouble(),
                    qtBar,
                    0,
                    QStringLiteral("< 1 %"),
                    peak,
                    QStringLiteral("%")};
                add(paged);
                Row range{QStringLiteral("scroll bar range change in 200 Page Downs through %1")
                              .arg(text),
                          qAbs(t.more[QStringLiteral("range_change")].toDouble()),
                          qAbs(t.more[QStringLiteral("qt_range_change")].toDouble()),
                          qtBar,
                          0,
                          QStringLiteral("< 1 line"),
                          peak,
                          QStringLiteral("lines")};
                add(range);
            }
        }
        pair(QStringLiteral("drag the scroll bar in %1, worst of 10 places").arg(text),
             {QStringLiteral("drag"), path},
             {QStringLiteral("bare-drag"), oneLine ? floorLines : path},
             oneLine ? QStringLiteral("bare QPlainTextEdit's own bar, %1 of short lines")
                           .arg(sizeText(10))
                     : QStringLiteral("bare QPlainTextEdit's own bar, same text"),
             0, QStringLiteral("< 50 ms"));
    }
}

} // namespace vellumo::bench
