#include "platform/RichTextBox.h"

#include <QMimeData>
#include <QTextCharFormat>
#include <QTextDocument>

namespace vellumo {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

QString firstLineBreak(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\n')
            return QStringLiteral("\n");
        if (c == u'\r')
            return (i + 1 < text.size() && text.at(i + 1) == u'\n') ? kCrLf : QStringLiteral("\r");
    }
    return kCrLf;
}
} // namespace

RichTextBox::RichTextBox(QWidget *parent) : QPlainTextEdit(parent), m_lineBreak(kCrLf)
{
    setTabChangesFocus(true);
}

QString RichTextBox::text() const
{
    // toPlainText() would turn no-break spaces into blanks; the raw text keeps
    // them, with paragraph and line separators (Shift+Enter) to translate.
    QString raw = document()->toRawText();
    const bool single = m_lineBreak.size() == 1;
    if (single) {
        const QChar brk = m_lineBreak.at(0);
        for (QChar &c : raw) {
            if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
                c = brk;
        }
        return raw;
    }
    qsizetype breaks = 0;
    for (QChar c : std::as_const(raw))
        breaks += (c == QChar::ParagraphSeparator || c == QChar::LineSeparator);
    if (breaks == 0)
        return raw;
    QString out(raw.size() + breaks, Qt::Uninitialized);
    QChar *dst = out.data();
    for (QChar c : std::as_const(raw)) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            *dst++ = u'\r';
            *dst++ = u'\n';
        } else {
            *dst++ = c;
        }
    }
    return out;
}

void RichTextBox::setText(const QString &text)
{
    m_lineBreak = firstLineBreak(text);
    // The editor would give the new text the typing format; start it plain.
    setTextCursor(QTextCursor(document()));
    setCurrentCharFormat(QTextCharFormat());
    setPlainText(text);
}

void RichTextBox::setSelColor(unsigned bgr)
{
    QTextCharFormat format;
    format.setForeground(
        QColor(int(bgr & 0xFFu), int((bgr >> 8) & 0xFFu), int((bgr >> 16) & 0xFFu)));
    mergeCurrentCharFormat(format);
}

void RichTextBox::setSelFontName(const QString &face)
{
    QTextCharFormat format;
    format.setFontFamilies(QStringList{face});
    mergeCurrentCharFormat(format);
}

void RichTextBox::setSelFontSize(float points)
{
    if (!(points > 0))
        return; // a zero or negative size has no meaning to the text layout
    QTextCharFormat format;
    format.setFontPointSize(points);
    mergeCurrentCharFormat(format);
}

void RichTextBox::setSelBold(bool bold)
{
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    mergeCurrentCharFormat(format);
}

void RichTextBox::setSelItalic(bool italic)
{
    QTextCharFormat format;
    format.setFontItalic(italic);
    mergeCurrentCharFormat(format);
}

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    if (source->hasText())
        insertPlainText(source->text());
}

} // namespace vellumo
