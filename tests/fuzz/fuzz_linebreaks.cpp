// Any file's text, set into the text area and read back, keeps every character and every line
// break, each break now in the form of the text's first one (CR LF when it has none).

#include "platform/files/CodePage.h"
#include "platform/textarea/RichTextBox.h"

#include <QApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

[[noreturn]] void fail(const char *what, const QString &in, const QString &out)
{
    std::fprintf(stderr, "linebreaks: %s\n  in:  %s\n  out: %s\n", what,
                 in.toUtf8().toHex(' ').constData(), out.toUtf8().toHex(' ').constData());
    std::abort();
}

// The text with its breaks as they stand in a file: CR LF, LF or a lone CR.
QString expectedText(const QString &text)
{
    QStringList lines;
    QString form;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        const bool crlf = c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n';
        if (form.isEmpty())
            form = crlf ? QStringLiteral("\r\n") : QString(c);
        lines << text.mid(start, i - start);
        i += crlf ? 1 : 0;
        start = i + 1;
    }
    lines << text.mid(start);
    return lines.join(form.isEmpty() ? QStringLiteral("\r\n") : form);
}

vellumo::RichTextBox *area = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 3;
    static char name[] = "fuzz_linebreaks", platform[] = "-platform", offscreen[] = "offscreen";
    static char *argv[] = {name, platform, offscreen, nullptr};
    // Lives for the whole run; libFuzzer ends the process without unwinding.
    new QApplication(argc, argv);
    area = new vellumo::RichTextBox;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = vellumo::decodeCp1252(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    area->setText(text);
    const QString back = area->text();
    if (back != expectedText(text))
        fail("the text came back changed", text, back);
    return 0;
}
