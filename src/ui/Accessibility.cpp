#include "ui/Accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

// A label spoken by its text, or a picture. Its tooltip, which only repeats an
// elided text and is written as escaped rich text, is not read out as its
// description.
class Label : public QAccessibleWidget {
public:
    Label(QLabel *label, bool alert) : QAccessibleWidget(label), m_alert(alert) {}
    QAccessible::Role role() const override
    {
        // Asked each time: a label may get its picture after this was made.
        if (m_alert)
            return QAccessible::AlertMessage;
        return static_cast<const QLabel *>(widget())->pixmap().isNull() ? QAccessible::StaticText
                                                                          : QAccessible::Graphic;
    }
    QString text(QAccessible::Text kind) const override
    {
        switch (kind) {
        case QAccessible::Name:
            return widget()->accessibleName().isEmpty() ? static_cast<const QLabel *>(widget())->text()
                                                        : widget()->accessibleName();
        case QAccessible::Description:
            return widget()->accessibleDescription();
        default:
            return QAccessibleWidget::text(kind);
        }
    }

private:
    bool m_alert;
};

QAccessibleInterface *interfaceFor(const QString &className, QObject *object)
{
    if (!object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    // The panel is announced as a window when the focus enters it.
    if (className == QLatin1String("MenuPanelView"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (className == QLatin1String("RequestRow"))
        return new QAccessibleWidget(widget, QAccessible::ListItem);
    if (className == QLatin1String("Divider"))
        return new QAccessibleWidget(widget, QAccessible::Separator);
    // The sign-in view's busy indicator.
    if (className == QLatin1String("Spinner"))
        return new QAccessibleWidget(widget, QAccessible::Animation);
    if (className == QLatin1String("QLabel"))
        return new Label(static_cast<QLabel *>(object), object->objectName() == QLatin1String("errorMessage"));
    return nullptr;
}

} // namespace

namespace Accessibility {

void install()
{
    QAccessible::installFactory(interfaceFor);
}

} // namespace Accessibility
