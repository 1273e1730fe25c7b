#pragma once

#include <QString>

class QPrinter;
class QWidget;

namespace vellumo {

struct FontChoice {
    QString name;
    float size = 0;
    bool bold = false;
    bool italic = false;
};

struct FileRequest {
    QString title;
    QString initialFolder;
    QString filter;        // e.g. "*.txt"
    QString defaultSuffix; // without the dot
    QString fileName;      // the last choice, where the dialog starts
};

// Shows the platform's modal dialogs over their owner window. Each returns
// false when the user cancelled, leaving the in/out values as they were.
class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    virtual bool openFile(QWidget *owner, const FileRequest &request, QString &chosen) = 0;
    virtual bool saveFile(QWidget *owner, const FileRequest &request, QString &chosen) = 0;
    virtual bool color(QWidget *owner, unsigned &bgr) = 0;
    virtual bool font(QWidget *owner, int flags, FontChoice &choice) = 0;
    // Only a printer service calls this, on its own printer object.
    virtual bool printer(QWidget *owner, QPrinter &printer) = 0;
};

class QtDialogPresenter : public DialogPresenter {
public:
    bool openFile(QWidget *owner, const FileRequest &request, QString &chosen) override;
    bool saveFile(QWidget *owner, const FileRequest &request, QString &chosen) override;
    bool color(QWidget *owner, unsigned &bgr) override;
    bool font(QWidget *owner, int flags, FontChoice &choice) override;
    bool printer(QWidget *owner, QPrinter &printer) override;
};

// Hides what Qt's font dialog offers beyond face, size, bold and italic.
void hideFontEffects(QWidget *fontDialog);

// The main window's one dialog component. It keeps the user's last choices,
// so what one dialog leaves behind is where the next one starts.
class CommonDialog {
public:
    static constexpr int kMaxFileName = 260;
    static constexpr int kFlagEffects = 0x100; // the font dialog offers effects only with this

    // Every dialog it shows is modal over owner.
    CommonDialog(DialogPresenter &presenter, QWidget *owner);

    // Each returns false when the user cancelled. A cancelled file dialog
    // leaves an empty file name; the colour and font keep their values.
    bool showOpen();
    bool showSave();
    bool showColor();
    bool showFont();

    QString dialogTitle() const;
    QString initialFolder() const;
    QString filter() const;
    QString defaultExtension() const;

    QString fileName() const { return m_fileName; }
    unsigned color() const { return m_color; }
    int flags() const { return m_flags; }
    void setFlags(int flags) { m_flags = flags; }
    QString fontName() const { return m_font.name; }
    float fontSize() const { return m_font.size; }
    bool fontBold() const { return m_font.bold; }
    bool fontItalic() const { return m_font.italic; }
    // A printer shows its dialog through this presenter; the copy count chosen is kept here.
    DialogPresenter &presenter() const { return m_presenter; }
    int copies() const { return m_copies; }
    void setCopies(int copies) { m_copies = copies; }

private:
    bool showFile(bool save);

    DialogPresenter &m_presenter;
    QWidget *m_owner;
    QString m_fileName;
    unsigned m_color = 0;
    int m_flags = 0;
    FontChoice m_font;
    int m_copies = 1;
};

} // namespace vellumo
