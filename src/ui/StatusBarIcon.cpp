#include "ui/StatusBarIcon.h"

#include "AppState.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

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
    // Long counts shrink rather than spill over the icon's edge.
    QPainterPath glyphs = Symbols::digits(digits, 22);
    if (glyphs.boundingRect().width() + 12 > canvasSize)
        glyphs = Symbols::digits(digits, std::max(10.0, 22 * (canvasSize - 12) / glyphs.boundingRect().width()));
    const QRectF ink = glyphs.boundingRect();
    const qreal height = ink.height() + 10;
    const qreal width = std::max(height, ink.width() + 12);
    const QRectF pill(canvasSize - width, canvasSize - height, width, height);

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::green);
    painter.drawRoundedRect(pill, height / 2, height / 2);
    painter.fillPath(glyphs.translated(pill.center() - ink.center()), Theme::cardBackground);
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
    return QStringLiteral("Cuelark — %1 pending").arg(QString::number(*count));
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
