#include "document/TextFiles.h"

#include "platform/BusyCursor.h"
#include "platform/CodePage.h"
#include "platform/CommonDialog.h"
#include "platform/Failure.h"
#include "platform/FileLayer.h"
#include "platform/MessageBox.h"
#include "platform/RichTextBox.h"

#include <QDir>

namespace vellumo {

namespace {

// Closes an input file on every way out of the load.
struct InputGuard {
    FileLayer &files;
    int number;
    ~InputGuard() { files.close(number); }
};

QString describeCharacter(QStringView text, qsizetype at)
{
    const char32_t code = QChar::isHighSurrogate(text[at].unicode()) && at + 1 < text.size()
                              ? QChar::surrogateToUcs4(text[at], text[at + 1])
                              : text[at].unicode();
    const QString shown = QChar::isPrint(code)
                              ? QStringLiteral("\u201C%1\u201D ").arg(QString::fromUcs4(&code, 1))
                              : QString();
    return shown + QStringLiteral("(U+%1)").arg(uint(code), 4, 16, QChar(u'0')).toUpper();
}

} // namespace

LoadResult loadTextFile(CommonDialog &dialog, RichTextBox &area, FileLayer &files)
{
    LoadResult result;
    result.fileNumber = files.freeFile();
    dialog.showOpen();
    const QString name = dialog.fileName();
    if (name.isEmpty())
        return result;

    BusyCursor busy;
    files.openForInput(result.fileNumber, name);
    {
        InputGuard guard{files, result.fileNumber};
        const qint64 size = files.length(result.fileNumber);
        if (size > kMaxTextFileBytes)
            throw Failure(QStringLiteral("Cannot load \"%1\": the file holds %2 MB, and the text "
                                         "area takes at most %3 MB.")
                              .arg(QDir::toNativeSeparators(name))
                              .arg((size + (1 << 20) - 1) >> 20)
                              .arg(kMaxTextFileBytes >> 20));
        result.text = files.input(result.fileNumber, size);
    }
    area.setText(*result.text);
    return result;
}

SaveResult saveTextFile(CommonDialog &dialog, RichTextBox &area, FileLayer &files,
                        MessageBoxService &messages)
{
    dialog.showSave();
    SaveResult result;
    result.fileNumber = files.freeFile();
    const QString name = dialog.fileName();
    if (name.isEmpty())
        return result;

    // The text is read from the area part by part, twice, rather than copied whole: a big text
    // would be held two or three times over. The question is modal, so the text cannot change
    // in between.
    QString lossy; // the first character a Windows-1252 file cannot hold
    {
        BusyCursor busy; // not over the question below
        area.forEachPart([&lossy](QStringView part) {
            const qsizetype at = firstUnencodableCp1252(part);
            if (at >= 0)
                lossy = describeCharacter(part, at);
            return at < 0;
        });
    }
    if (!lossy.isEmpty()) {
        const int answer = messages.show(
            area.window(),
            QStringLiteral("The text holds characters that a Windows-1252 file cannot hold, the "
                           "first being %1.\n\nSave \"%2\" anyway, with each of them replaced "
                           "by \"?\"?")
                .arg(lossy, QDir::toNativeSeparators(name)),
            MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2,
            QStringLiteral("Save"));
        if (answer != kAnswerYes)
            return result;
    }

    BusyCursor busy;
    files.openForOutput(result.fileNumber, name);
    area.forEachPart([&](QStringView part) {
        files.write(result.fileNumber, part);
        return true;
    });
    files.writeLine(result.fileNumber, {});
    files.close(result.fileNumber);
    result.saved = true;
    return result;
}

} // namespace vellumo
