#include "ui/Accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

// A label spoken by its text. Its tooltip, which only repeats an elided text
// and is written as escaped rich text, is not read out as its description.
class Label : public QAccessibleWidget {
public:
    Label(QLabel *label, QAccessible::Role role) : QAccessibleWidget(label, role) {}
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
};

QAccessibleInterface *interfaceFor(const QString &className, QObject *object)
{
    if (className == QLatin1String("RequestRow"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::ListItem);
    if (className == QLatin1String("QLabel")) {
        const bool error = object->objectName() == QLatin1String("errorMessage");
        return new Label(static_cast<QLabel *>(object), error ? QAccessible::AlertMessage : QAccessible::StaticText);
    }
    return nullptr;
}

} // namespace

namespace Accessibility {

void install()
{
    QAccessible::installFactory(interfaceFor);
}

} // namespace Accessibility
