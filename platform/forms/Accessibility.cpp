#include "platform/forms/Accessibility.h"

#include "platform/forms/FormLayout.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>

namespace vellumo {

namespace {

// Set on widgets whose role differs from what Qt would give their class.
constexpr char kRoleProperty[] = "vellumoAccessibleRole";

class LinkInterface : public QAccessibleWidget {
public:
    explicit LinkInterface(QWidget *label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        QString text = QAccessibleWidget::text(t);
        if (text.isEmpty() && t == QAccessible::Name)
            if (auto *label = qobject_cast<QLabel *>(widget()))
                text = label->text();
        return text;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action != pressAction())
            return;
        // Whatever the owner does on a click, it does on the press.
        QWidget *label = widget();
        const QPointF local = QRectF(label->rect()).center();
        const QPointF global = label->mapToGlobal(local);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, local, global, Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(label, &click);
        }
    }
};

QAccessibleInterface *roleFactory(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    const QVariant role = widget->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    switch (QAccessible::Role(role.toInt())) {
    case QAccessible::Link:
        return new LinkInterface(widget);
    case QAccessible::Separator:
        return new QAccessibleWidget(widget, QAccessible::Separator);
    default:
        return nullptr;
    }
}

void setRole(QWidget *widget, QAccessible::Role role)
{
    static const bool installed = (QAccessible::installFactory(&roleFactory), true);
    Q_UNUSED(installed);
    widget->setProperty(kRoleProperty, int(role));
    // A screen reader that is already listening may have met the widget
    // under its old role: drop that, so the next question gets the new one.
    if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
        iface && iface->role() != role)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

} // namespace

QString spokenCaption(const QString &caption)
{
    QString spoken;
    spoken.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && ++i == caption.size())
            break;
        spoken += caption[i];
    }
    return spoken.trimmed();
}

void describeControls(const FormBuilder &form, const std::vector<AccessibleText> &texts)
{
    for (const AccessibleText &text : texts) {
        QWidget *control = form.control(QString::fromLatin1(text.control));
        Q_ASSERT(control);
        if (!control)
            continue;
        if (text.name)
            control->setAccessibleName(QString::fromLatin1(text.name));
        if (text.description)
            control->setAccessibleDescription(QString::fromLatin1(text.description));
    }
}

void markAsRule(QWidget *line)
{
    setRole(line, QAccessible::Separator);
}

void markAsLink(QWidget *label)
{
    setRole(label, QAccessible::Link);
}

void nameScrollBars(QWidget *window)
{
    for (QScrollBar *bar : window->findChildren<QScrollBar *>())
        if (bar->accessibleName().isEmpty())
            bar->setAccessibleName(bar->orientation() == Qt::Vertical
                                       ? QStringLiteral("Vertical scroll bar")
                                       : QStringLiteral("Horizontal scroll bar"));
}

} // namespace vellumo
