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

// Shows the platform's modal dialogs. Each returns false when the user
// cancelled, leaving the in/out values as they were.
class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    virtual bool openFile(const FileRequest &request, QString &chosen) = 0;
    virtual bool saveFile(const FileRequest &request, QString &chosen) = 0;
    virtual bool color(unsigned &bgr) = 0;
    virtual bool font(int flags, FontChoice &choice) = 0;
    virtual bool printer(QPrinter &printer) = 0;
};

class QtDialogPresenter : public DialogPresenter {
public:
    bool openFile(const FileRequest &request, QString &chosen) override;
    bool saveFile(const FileRequest &request, QString &chosen) override;
    bool color(unsigned &bgr) override;
    bool font(int flags, FontChoice &choice) override;
    bool printer(QPrinter &printer) override;
};

// The main window's one dialog component. It keeps the user's last choices,
// so what one dialog leaves behind is where the next one starts.
class CommonDialog {
public:
    static constexpr int kMaxFileName = 260;
    static constexpr int kFlagEffects = 0x100; // the font dialog offers effects only with this

    explicit CommonDialog(DialogPresenter &presenter);

    // Each returns false when the user cancelled. A cancelled file dialog
    // leaves an empty file name; the colour and font keep their values.
    bool showOpen();
    bool showSave();
    bool showColor();
    bool showFont();
    bool showPrinter(QPrinter &printer);

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
    int copies() const { return m_copies; }

private:
    bool showFile(bool save);

    DialogPresenter &m_presenter;
    QString m_fileName;
    unsigned m_color = 0;
    int m_flags = 0;
    FontChoice m_font;
    int m_copies = 1;
};

} // namespace vellumo
