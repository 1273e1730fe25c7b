#pragma once

#include <QPlainTextEdit>

namespace vellumo {

// The main window's editing surface. The program reads and replaces the whole
// plain text and formats the selection; everything else is the user's typing.
class RichTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);

    // The whole content, exactly as held: no-break spaces stay, and every line
    // break comes back in the form the last replaced text used first
    // (CR LF when it had none).
    QString text() const;
    // Replaces everything; all formatting goes with the old text.
    void setText(const QString &text);
    QString lineBreak() const { return m_lineBreak; }

    // Each changes one attribute of the selection, or of the typing position
    // when nothing is selected.
    void setSelColor(unsigned bgr); // 0x00BBGGRR
    void setSelFontName(const QString &face);
    void setSelFontSize(float points);
    void setSelBold(bool bold);
    void setSelItalic(bool italic);

protected:
    // Pasted or dropped rich text would bring tables and images whose
    // placeholder characters end up in saved files: take its plain text only.
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    QString m_lineBreak;
};

} // namespace vellumo
