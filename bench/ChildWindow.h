#pragma once
// The child's windows: Vellumo's own, driven through its buttons, and the
// bare widgets the floors run on; and the event loop they are timed by.

#include "app/SystemServices.h"
#include "app/frmMain.h"
#include "platform/dialogs/CommonDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/textarea/RichTextBox.h"

#include <QApplication>
#include <QSize>
#include <memory>

namespace vellumo::bench {

// Knows when the last event was done with, and whether a widget painted.
class BenchApp : public QApplication {
public:
    using QApplication::QApplication;
    double lastActivity = 0;
    QObject *watched = nullptr;
    int paints = 0;
    // While gaps are timed: when any widget last painted, and the longest wait between two paints,
    // which the ticker asks for.
    bool timingGaps = false;
    QObject *ticker = nullptr;
    double lastPaint = 0;
    double longestGap = 0;

    bool notify(QObject *receiver, QEvent *event) override;
};

BenchApp *app();

// Runs the event loop until the watched widget has painted and nothing has
// happened for a while; returns when the last event was done with.
double settle();

class BenchDialogs : public DialogPresenter {
public:
    QString file;
    QString saveAs; // where a save goes, when not to `file`
    QString pdf;
    bool openFile(QWidget *, const FileRequest &, QString &chosen) override;
    bool saveFile(QWidget *, const FileRequest &, QString &chosen) override;
    bool color(QWidget *, unsigned &bgr) override;
    bool font(QWidget *, int, FontChoice &choice) override;
    bool printer(QWidget *, QPrinter &printer) override;
};

// A command that fails ends in a message box; here that ends the figure. A question, even one
// with the critical icon (Quit?), is answered Yes.
class BenchMessages : public MessageBoxService {
public:
    int show(QWidget *, const QString &prompt, int style, const QString &title) override;
};

// The one place the benchmark builds the program's platform services.
Services benchServices(const SystemServices &system, BenchDialogs &dialogs,
                       BenchMessages &messages);

struct VellumoWindow {
    SystemServices system;
    BenchDialogs dialogs;
    BenchMessages messages;
    std::unique_ptr<frmMain> window;
    RichTextBox *area = nullptr;

    VellumoWindow();
    void click(const char *button);
    void load(const QString &path);
};

// The first of the first, middle and last character that lacks the colour or the font that
// BenchDialogs chooses, or -1.
int unformattedAt(QTextDocument *doc, bool colour);

// The text area's size in Vellumo's layout, for the floors' windows.
QSize areaSize();

template <class Edit> struct BareWindow {
    Edit edit;
    BareWindow()
    {
        edit.resize(areaSize());
        app()->watched = edit.viewport();
        edit.show();
        settle();
    }
};

} // namespace vellumo::bench
