#include "ui/StatusBarIcon.h"

#include "AppState.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace StatusBarIcon {

namespace {

constexpr int canvasSize = 64;

QImage buildBaseImage(Tray tray)
{
    const QColor ink = tray == Tray::dark ? QColor(241, 245, 249) : QColor(30, 30, 30);
    return Symbols::image(Symbols::musicNoteList, ink, canvasSize);
}

void drawBadge(QImage &canvas, qint64 count)
{
    const QString digits = QString::number(count); // plain digits, never grouped
    QFont font = Theme::font(Theme::TextStyle::callout, QFont::Bold);
    font.setPixelSize(30);
    // Long counts shrink rather than spill over the icon's edge.
    while (font.pixelSize() > 12
           && QFontMetricsF(font).horizontalAdvance(digits) + 12 > canvasSize)
        font.setPixelSize(font.pixelSize() - 2);
    const QFontMetricsF metrics(font);
    const qreal height = metrics.height() + 2;
    const qreal width = std::max(height, metrics.horizontalAdvance(digits) + 12);
    const QRectF pill(canvasSize - width, canvasSize - height, width, height);

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::green);
    painter.drawRoundedRect(pill, height / 2, height / 2);
    painter.setPen(Theme::cardBackground);
    painter.setFont(font);
    painter.drawText(pill, Qt::AlignCenter, digits);
}

} // namespace

std::optional<qint64> pendingCount(const AppState &state)
{
    if (state.authState() == AppState::AuthState::signedIn && state.totalPending() >= 1)
        return state.totalPending();
    return std::nullopt;
}

QString toolTip(std::optional<qint64> count)
{
    if (!count)
        return QStringLiteral("Cuelark");
    return QCoreApplication::translate("StatusBarIcon", "Cuelark — %1 pending").arg(QString::number(*count));
}

const QImage &baseImage(Tray tray)
{
    static const QImage dark = buildBaseImage(Tray::dark);
    static const QImage light = buildBaseImage(Tray::light);
    return tray == Tray::dark ? dark : light;
}

QImage image(std::optional<qint64> count, Tray tray)
{
    QImage canvas = baseImage(tray);
    if (count)
        drawBadge(canvas, *count);
    return canvas;
}

QIcon icon(std::optional<qint64> count, Tray tray)
{
    return QIcon(QPixmap::fromImage(image(count, tray)));
}

} // namespace StatusBarIcon
