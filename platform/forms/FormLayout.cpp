#include "platform/forms/FormLayout.h"

#include "platform/BgrColor.h"
#include "platform/forms/Accessibility.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QWidget>
#include <algorithm>

// The icons live in the library's resources, which a static library must
// register itself (outside any namespace).
static void initFormResourcesOnce()
{
    Q_INIT_RESOURCE(assets);
}

namespace vellumo {

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

QIcon pictureIcon(const char *base)
{
    QIcon icon;
    for (const int size : {16, 32, 64, 128})
        icon.addFile(QStringLiteral("%1-%2.png").arg(QLatin1String(base)).arg(size),
                     QSize(size, size));
    return icon;
}

QColor colourFromValue(unsigned value)
{
    if ((value & 0xFF000000u) == 0x80000000u) {
        const QPalette palette = QApplication::palette();
        switch (value & 0xFFu) {
        case 5: // window background: where text is edited
            return palette.color(QPalette::Base);
        case 10: // active window border: the desktop has no such colour of its own
            return QColor(0xB4, 0xB4, 0xB4);
        case 13: // selection highlight
            return palette.color(QPalette::Highlight);
        default:
            return palette.color(QPalette::WindowText);
        }
    }
    return colorFromBgr(value);
}

namespace {

void setColours(QWidget *widget, const ControlEntry &entry)
{
    if (entry.foreground == ControlEntry::kDefaultColour &&
        entry.background == ControlEntry::kDefaultColour)
        return;
    QPalette palette = widget->palette();
    if (entry.foreground != ControlEntry::kDefaultColour)
        palette.setColor(QPalette::WindowText, colourFromValue(entry.foreground));
    if (entry.background != ControlEntry::kDefaultColour)
        palette.setColor(QPalette::Window, colourFromValue(entry.background));
    widget->setPalette(palette);
}

QWidget *makeLine(QWidget *parent, const ControlEntry &entry)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colourFromValue(entry.foreground));
    line->setPalette(palette);
    // Horizontal rules only: the width runs from x1 to x2 inclusive.
    const int x1 = twipsToPixels(entry.left);
    const int x2 = twipsToPixels(entry.width);
    const int y = twipsToPixels(entry.top);
    line->setGeometry(x1, y, x2 - x1 + 1, entry.lineWidth);
    markAsRule(line);
    return line;
}

} // namespace

FormBuilder::FormBuilder(QWidget *form, RichTextFactory makeRichText)
    : m_form(form), m_makeRichText(makeRichText)
{
    initResources();
}

void FormBuilder::initResources()
{
    static const bool done = (initFormResourcesOnce(), true);
    Q_UNUSED(done);
}

void FormBuilder::build(const std::vector<ControlEntry> &entries)
{
    std::vector<std::pair<int, QWidget *>> focusChain;
    for (const ControlEntry &entry : entries) {
        QWidget *parent =
            entry.container ? m_controls.value(QString::fromLatin1(entry.container)) : m_form;
        Q_ASSERT(parent);
        QWidget *widget = nullptr;
        switch (entry.kind) {
        case ControlKind::Component:
            continue;
        case ControlKind::Frame: {
            auto *frame = new QGroupBox(QString::fromLatin1(entry.caption), parent);
            frame->setFocusPolicy(Qt::NoFocus);
            widget = frame;
            break;
        }
        case ControlKind::CommandButton: {
            auto *button = new QPushButton(QString::fromLatin1(entry.caption), parent);
            button->setAutoDefault(false);
            widget = button;
            break;
        }
        case ControlKind::RichText:
            Q_ASSERT(m_makeRichText);
            widget = m_makeRichText(parent);
            break;
        case ControlKind::Image:
        case ControlKind::PictureBox: {
            auto *image = new QLabel(parent);
            image->setPixmap(
                pictureIcon(entry.picture).pixmap(QSize(32, 32), image->devicePixelRatioF()));
            image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            image->setFocusPolicy(Qt::NoFocus);
            widget = image;
            break;
        }
        case ControlKind::Label: {
            auto *label = new QLabel(QString::fromLatin1(entry.caption), parent);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setAutoFillBackground(true);
            widget = label;
            break;
        }
        case ControlKind::Line:
            widget = makeLine(parent, entry);
            break;
        }
        widget->setObjectName(QString::fromLatin1(entry.name));
        // Screen readers name a control by its caption, as a sighted user does.
        if (*entry.caption)
            widget->setAccessibleName(spokenCaption(QString::fromLatin1(entry.caption)));
        if (entry.kind != ControlKind::Line) {
            widget->setGeometry(twipsRect(entry.left, entry.top, entry.width, entry.height));
            setColours(widget, entry);
        }
        if (entry.tabIndex == kNoTabIndex || widget->focusPolicy() == Qt::NoFocus)
            widget->setFocusPolicy(Qt::NoFocus);
        else
            focusChain.emplace_back(entry.tabIndex, widget);
        // Several controls may share one name (a control array): the first keeps it.
        if (!m_controls.contains(widget->objectName()))
            m_controls.insert(widget->objectName(), widget);
    }
    std::stable_sort(focusChain.begin(), focusChain.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusChain.size(); ++i)
        QWidget::setTabOrder(focusChain[i - 1].second, focusChain[i].second);
}

} // namespace vellumo
