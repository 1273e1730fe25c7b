// Loads, formats, saves and prints through the main window's own commands many times over, and
// fails if the memory in use at the end is more than at the start: whatever a command keeps
// must not pile up. Run by tests/soak/run.sh, not by CTest.

#include "app/Identity.h"
#include "app/frmMain.h"
#include "platform/files/CodePage.h"
#include "platform/printing/Printer.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"

#include <QAction>
#include <QApplication>
#include <QPrinter>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>

using namespace vellumo;
using namespace vellumo::test;

namespace {

struct Memory {
    qint64 heap = 0; // bytes the allocator has handed out and not had back
    qint64 rss = 0;
};

Memory memoryNow()
{
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    Memory m;
    m.heap = qint64(info.uordblks + info.hblkhd);
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("VmRSS:"))
                m.rss = line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return m;
}

void report(const char *when, const Memory &m)
{
    std::printf("%-28s heap in use %8.2f MB, resident %8.2f MB\n", when, m.heap / 1048576.0,
                m.rss / 1048576.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    applyIdentity(app);
    const int rounds = argc > 1 ? QByteArray(argv[argc - 1]).toInt() : 1000;
    if (rounds < 100) {
        std::fprintf(stderr, "usage: vellumo_soak [rounds, at least 100; default 1000]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    QByteArray text;
    for (int line = 0; text.size() < 16 * 1024; ++line)
        text += "Line " + QByteArray::number(line) + " of the soak text, \x80 \xE9 \xFF.\r\n";
    if (!writeFile(in, text))
        return 1;

    FakePlatform platform;
    QtPrinter printer;
    platform.services.printer = &printer;
    platform.dialogs.onPrinter = [&pdf](QPrinter &device) {
        device.setOutputFormat(QPrinter::PdfFormat);
        device.setOutputFileName(pdf);
        return true;
    };
    unsigned colour = 0;
    platform.dialogs.onColor = [&colour](unsigned &bgr) {
        bgr = (colour += 0x010203) & 0xFFFFFF;
        return true;
    };
    int fontRound = 0;
    platform.dialogs.onFont = [&fontRound](int, FontChoice &choice) {
        ++fontRound;
        choice = {fontRound % 2 ? QStringLiteral("DejaVu Sans") : QStringLiteral("DejaVu Serif"),
                  float(8 + fontRound % 9), fontRound % 3 == 0, fontRound % 2 == 0};
        return true;
    };

    auto window = std::make_unique<frmMain>(platform.services);
    window->show();
    auto run = [&window](const char *item) {
        window->findChild<QAction *>(item)->trigger();
    };

    // The first rounds fill Qt's caches (fonts, glyphs, the printer's setup) and go through every
    // font the dialog hands out; after them the memory in use must stay where it is.
    const int warmUp = 36;
    Memory start;
    report("before the first round", memoryNow());
    for (int round = 1; round <= rounds; ++round) {
        // The fakes' own records are no memory of the program's.
        platform.messageBox.calls.clear();
        platform.dialogs.fileRequests.clear();
        platform.dialogs.fontFlags.clear();
        platform.dialogs.choose(in);
        run("Load");
        window->RichTextBox1()->selectAll();
        run("Color");
        run("Font");
        platform.dialogs.choose(out);
        run("Save");
        run("Print");
        QCoreApplication::processEvents();

        const QStringList boxes = platform.messageBox.shown(false);
        if (boxes != QStringList{"Load Successful", "Save Successful"} ||
            readFile(out) != text + "\r\n" || QFileInfo(pdf).size() == 0) {
            std::fprintf(stderr, "round %d went wrong: %s\n", round,
                         qPrintable(boxes.join(QStringLiteral(", "))));
            return 1;
        }
        QFile::remove(pdf);
        if (round == warmUp) {
            start = memoryNow();
            report("after the warm-up rounds", start);
        } else if (round % 100 == 0 && round < rounds) {
            report(qPrintable(QStringLiteral("after %1 rounds").arg(round)), memoryNow());
        }
    }
    const Memory end = memoryNow();
    report(qPrintable(QStringLiteral("after %1 rounds").arg(rounds)), end);

    // Allocator slack and Qt's own bookkeeping move by a few kilobytes; a leak of even one small
    // object a round shows as far more over the rounds.
    const qint64 heapSlack = 256 * 1024;
    const qint64 residentSlack = 8 * 1024 * 1024;
    if (end.heap - start.heap > heapSlack || end.rss - start.rss > residentSlack) {
        std::printf("FAIL: memory grew by %.2f MB in use, %.2f MB resident\n",
                    (end.heap - start.heap) / 1048576.0, (end.rss - start.rss) / 1048576.0);
        return 1;
    }
    std::printf("PASS: memory did not grow over %d rounds\n", rounds - warmUp);
    window.reset();
    return 0;
}
