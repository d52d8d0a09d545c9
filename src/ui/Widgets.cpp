#include "ui/Widgets.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

void styleLabel(QLabel *label, const QString &objectName, Theme::TextStyle style, const QColor &color)
{
    label->setObjectName(objectName);
    // Names, titles and messages come from the service and the audience: never markup.
    label->setTextFormat(Qt::PlainText);
    label->setFont(Theme::font(style));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QLabel *makeLabel(const QString &objectName, Theme::TextStyle style, const QColor &color,
                  QWidget *parent)
{
    auto *label = new QLabel(parent);
    styleLabel(label, objectName, style, color);
    return label;
}

void limitToLines(QLabel *label, int lines)
{
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setMaximumHeight(label->fontMetrics().lineSpacing() * lines);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 2, fontMetrics().height()};
}

QSize ElidedLabel::sizeHint() const
{
    return {QLabel::sizeHint().width(), fontMetrics().height()};
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine,
                     fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width()));
}

RoundedFrame::RoundedFrame(qreal radius, std::optional<QColor> fill, QWidget *parent)
    : QFrame(parent), m_radius(radius), m_fill(std::move(fill))
{
}

void paintRoundedRing(QPainter &painter, const QRectF &bounds, qreal radius, qreal width, const QColor &color)
{
    QPainterPath ring;
    ring.setFillRule(Qt::OddEvenFill);
    ring.addRoundedRect(bounds, radius + width / 2, radius + width / 2);
    ring.addRoundedRect(bounds.adjusted(width, width, -width, -width), radius - width / 2, radius - width / 2);
    painter.fillPath(ring, color);
}

void RoundedFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_fill) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(*m_fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
    }
    paintRoundedRing(painter, rect(), m_radius, 1.0, Theme::cardBorder);
}

Divider::Divider(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("divider"));
    setFixedHeight(1);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::cardBorder);
    setPalette(palette);
}

Spinner::Spinner(QWidget *parent)
    : QWidget(parent), m_rotation(new QVariantAnimation(this))
{
    setObjectName(QStringLiteral("spinner"));
    setAccessibleName(tr("Signing in"));
    setFixedSize(sizeHint());
    m_rotation->setStartValue(0);
    m_rotation->setEndValue(360);
    m_rotation->setDuration(900);
    m_rotation->setLoopCount(-1);
    connect(m_rotation, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF arc = QRectF(rect()).adjusted(2, 2, -2, -2);
    painter.setPen(QPen(Theme::cardBorder, 2.0));
    painter.drawEllipse(arc);
    painter.setPen(QPen(Theme::secondaryText, 2.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(arc, -m_rotation->currentValue().toInt() * 16, 100 * 16);
}

void Spinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_rotation->start();
}

void Spinner::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_rotation->stop();
}
