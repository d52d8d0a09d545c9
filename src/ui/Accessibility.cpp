#include "ui/Accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

// A label spoken by its text, under its own role.
class LabelWithRole : public QAccessibleWidget {
public:
    LabelWithRole(QLabel *label, QAccessible::Role role) : QAccessibleWidget(label, role) {}
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const QLabel *>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface *roleFor(const QString &className, QObject *object)
{
    if (className == QLatin1String("RequestRow"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::ListItem);
    if (className == QLatin1String("QLabel") && object->objectName() == QLatin1String("errorMessage"))
        return new LabelWithRole(static_cast<QLabel *>(object), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

namespace Accessibility {

void install()
{
    QAccessible::installFactory(roleFor);
}

} // namespace Accessibility
