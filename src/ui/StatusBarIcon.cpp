#include "ui/StatusBarIcon.h"

#include "AppState.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace StatusBarIcon {

namespace {

// Amber with a near-black edge and mark: visible on dark and light trays alike.
const QColor warningFill{251, 191, 36};
const QColor warningInk{30, 30, 30};
constexpr qreal dimmedOpacity = 0.4;

QImage symbol(Tray tray, int size)
{
    const QColor ink = tray == Tray::dark ? QColor(241, 245, 249) : QColor(30, 30, 30);
    return Symbols::image(Symbols::musicNoteList, ink, size);
}

// Lengths are those of the largest size, scaled to `size`.
void drawBadge(QPainter &painter, int size, qint64 count)
{
    const qreal scale = qreal(size) / largestSize;
    const QString digits = QString::number(count); // plain digits, never grouped
    // Drawn from strokes rather than a font, so the idle app loads no font
    // machinery; long counts shrink rather than spill over the icon's edge.
    const qreal padding = 12 * scale;
    QPainterPath glyphs = Symbols::digits(digits, std::max(8.0, 26 * scale));
    if (glyphs.boundingRect().width() + padding > size)
        glyphs = Symbols::digits(digits, std::max(5.0, glyphs.boundingRect().height() * (size - padding)
                                                             / glyphs.boundingRect().width()));
    const QRectF ink = glyphs.boundingRect();
    const qreal height = ink.height() + std::max(2.0, 10 * scale);
    const qreal width = std::max(height, ink.width() + padding);
    const QRectF pill(size - width, size - height, width, height);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::green);
    painter.drawRoundedRect(pill, height / 2, height / 2);
    painter.fillPath(glyphs.translated(pill.center() - ink.center()), Theme::cardBackground);
}

// A warning triangle with an exclamation mark in the top-left corner.
void drawWarning(QPainter &painter, int size)
{
    const qreal side = size * 0.5;
    const qreal edge = std::max(1.0, size / 32.0);
    const qreal top = edge / 2;
    const qreal bottom = side * 0.87 + top;
    QPainterPath triangle;
    triangle.moveTo(side / 2, top);
    triangle.lineTo(side - top, bottom);
    triangle.lineTo(top, bottom);
    triangle.closeSubpath();
    painter.setPen(QPen(warningInk, edge, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(warningFill);
    painter.drawPath(triangle);
    const qreal stroke = std::max(1.5, size / 16.0);
    painter.setPen(QPen(warningInk, stroke, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(side / 2, top + side * 0.3), QPointF(side / 2, bottom - side * 0.32));
    painter.drawLine(QPointF(side / 2, bottom - side * 0.22), QPointF(side / 2, bottom - side * 0.22 + stroke));
}

} // namespace

std::optional<qint64> pendingCount(const AppState &state)
{
    if (state.authState() == AppState::AuthState::signedIn && state.totalPending() >= 1)
        return state.totalPending();
    return std::nullopt;
}

Look look(const AppState &state)
{
    if (state.authState() != AppState::AuthState::signedIn)
        return Look::dimmed;
    return state.lastRefreshFailed() ? Look::stale : Look::live;
}

const QImage &baseImage(Tray tray)
{
    static const QImage dark = symbol(Tray::dark, largestSize);
    static const QImage light = symbol(Tray::light, largestSize);
    return tray == Tray::dark ? dark : light;
}

QImage image(std::optional<qint64> count, Tray tray, Look look, int size)
{
    const QImage base = size == largestSize ? baseImage(tray) : symbol(tray, size);
    if (look == Look::live && !count)
        return base;
    QImage canvas(base.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(look == Look::dimmed ? dimmedOpacity : 1.0);
    painter.drawImage(0, 0, base);
    painter.setOpacity(1.0);
    if (count)
        drawBadge(painter, size, *count);
    if (look == Look::stale)
        drawWarning(painter, size);
    return canvas;
}

QIcon icon(std::optional<qint64> count, Tray tray, Look look)
{
    QIcon result;
    for (const int size : pixelSizes)
        result.addPixmap(QPixmap::fromImage(image(count, tray, look, size)));
    return result;
}

} // namespace StatusBarIcon
