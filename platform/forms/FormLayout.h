#pragma once

#include <QColor>
#include <QHash>
#include <QRect>
#include <QString>
#include <vector>

class QIcon;
class QWidget;

namespace vellumo {

// Window layouts are stored in twips (1/1440 inch); this is the one place
// that turns them into pixels. Qt's high-DPI scaling takes it from there.
constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips)
{
    return (twips + (twips >= 0 ? kTwipsPerPixel / 2 : -kTwipsPerPixel / 2)) / kTwipsPerPixel;
}
QRect twipsRect(int left, int top, int width, int height);

enum class ControlKind {
    Frame,         // group box; an empty caption gives a plain border
    CommandButton, // push button
    RichText,      // the editing area
    Image,         // decorative picture, no events
    PictureBox,    // picture shown at its natural size
    Label,         // one line of fixed text
    Line,          // a horizontal rule
    Component,     // invisible at run time: no widget
};

constexpr int kNoTabIndex = -1;

struct ControlEntry {
    ControlKind kind;
    const char *name;
    const char *container;                // nullptr: the form itself
    const char *caption;                  // an '&' marks the access key
    int left, top, width, height;         // twips; for lines: x1, y1, x2, y2
    int tabIndex;                         // kNoTabIndex: takes no focus
    const char *picture = nullptr;        // icon resource base, for images and picture boxes
    unsigned foreground = kDefaultColour; // 0x00BBGGRR, system colours as 0x800000NN
    unsigned background = kDefaultColour;
    int lineWidth = 1; // pixels, for lines

    static constexpr unsigned kDefaultColour = 0xFFFFFFFFu;
};

// Creates the controls of a form in stored order, so a later control stacks
// over an earlier one, and chains the keyboard focus in ascending tab index.
// Rich text areas are not created here: `makeRichText` supplies them.
class FormBuilder {
public:
    using RichTextFactory = QWidget *(*)(QWidget *parent);

    explicit FormBuilder(QWidget *form, RichTextFactory makeRichText = nullptr);
    static void initResources(); // the icons, from the library's resources
    void build(const std::vector<ControlEntry> &entries);
    QWidget *control(const QString &name) const { return m_controls.value(name); }

private:
    QWidget *m_form;
    RichTextFactory m_makeRichText;
    QHash<QString, QWidget *> m_controls;
};

// The icon whose pictures are base-16.png, -32, -64 and -128 in the resources: a window at
// 200 % shows the larger ones rather than the small ones scaled up.
QIcon pictureIcon(const char *base);

// 0x00BBGGRR or 0x800000NN (system colour NN) as a Qt colour.
QColor colourFromValue(unsigned value);

} // namespace vellumo
