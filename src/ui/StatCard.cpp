#include "ui/StatCard.h"

#include <QVBoxLayout>

StatCard::StatCard(const QString &title, QWidget *parent)
    : RoundedFrame(12, Theme::cardBackground, parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(4);
    QLabel *titleLabel = makeLabel(QStringLiteral("statTitle"), Theme::TextStyle::caption2,
                                   Theme::secondaryText, this);
    titleLabel->setText(title.toUpper());
    column->addWidget(titleLabel);
    m_value = makeLabel(QStringLiteral("statValue"), Theme::TextStyle::title2, Theme::secondaryText, this);
    column->addWidget(m_value);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void StatCard::setValue(const QString &value, const QColor &color, const QString &spoken)
{
    m_value->setText(value);
    setAccessibleName(spoken.isEmpty() ? value : spoken);
    QPalette palette = m_value->palette();
    palette.setColor(QPalette::WindowText, color);
    m_value->setPalette(palette);
}
