#include "ui/StatusBarIcon.h"

#include "AppState.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStringList>

namespace StatusBarIcon {

namespace {

// Amber with a near-black edge and mark: visible on dark and light trays alike.
const QColor warningFill{251, 191, 36};
const QColor warningInk{30, 30, 30};

// Signed out the note is dimmed by its colour, not by transparency: a
// translucent note takes on the bar's colour and fades into a dark grey bar.
// The dimmed inks keep at least 3:1 against the bars they are meant for.
const QColor lightInk{241, 245, 249};
const QColor dimmedLightInk{150, 156, 164};
const QColor darkInk{30, 30, 30};
const QColor dimmedDarkInk{96, 96, 96};
const QColor haloInk{20, 20, 20};

QImage symbol(Tray tray, Look look, int size)
{
    const Ink colours = ink(tray, look);
    QImage note = Symbols::image(Symbols::musicNoteList, colours.fill, size);
    if (!colours.halo)
        return note;
    // The halo: the note's shape in the halo's colour, drawn around it at a
    // fixed width for the size, the note itself on top.
    const QImage shape = Symbols::image(Symbols::musicNoteList, *colours.halo, size);
    const int width = std::max(1, size / 16);
    QImage canvas(note.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    for (int dx = -width; dx <= width; ++dx)
        for (int dy = -width; dy <= width; ++dy)
            if (dx != 0 || dy != 0)
                painter.drawImage(dx, dy, shape);
    painter.drawImage(0, 0, note);
    return canvas;
}

// Lengths are those of the largest size, scaled to `size`.
void drawBadge(QPainter &painter, int size, qint64 count)
{
    const qreal scale = qreal(size) / largestSize;
    const QString digits = QString::number(count); // plain digits, never grouped
    // Outlines rather than a font, so the idle app loads no font machinery;
    // long counts shrink rather than spill over the icon's edge.
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

Tray trayFor(std::optional<QColor> trayForeground, const QString &desktops)
{
    if (trayForeground && trayForeground->isValid())
        return trayForeground->lightnessF() >= 0.5 ? Tray::dark : Tray::light;
    if (desktops.split(QLatin1Char(':')).contains(QLatin1String("GNOME"), Qt::CaseInsensitive))
        return Tray::dark;
    return Tray::unknown;
}

Ink ink(Tray tray, Look look)
{
    const bool dimmed = look == Look::dimmed;
    switch (tray) {
    case Tray::dark:
        return {dimmed ? dimmedLightInk : lightInk, std::nullopt};
    case Tray::light:
        return {dimmed ? dimmedDarkInk : darkInk, std::nullopt};
    case Tray::unknown:
        break;
    }
    return {dimmed ? dimmedLightInk : lightInk, haloInk};
}

const QImage &baseImage(Tray tray)
{
    static const QImage dark = symbol(Tray::dark, Look::live, largestSize);
    static const QImage light = symbol(Tray::light, Look::live, largestSize);
    static const QImage unknown = symbol(Tray::unknown, Look::live, largestSize);
    return tray == Tray::dark ? dark : tray == Tray::light ? light : unknown;
}

QImage image(std::optional<qint64> count, Tray tray, Look look, int size)
{
    const QImage base = size == largestSize && look != Look::dimmed ? baseImage(tray) : symbol(tray, look, size);
    if (look == Look::live && !count)
        return base;
    QImage canvas(base.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawImage(0, 0, base);
    if (count)
        drawBadge(painter, size, *count);
    if (look == Look::stale)
        drawWarning(painter, size);
    return canvas;
}

QIcon icon(std::optional<qint64> count, Tray tray, Look look)
{
    // Drawn at a size when the tray first asks for it: an X11 tray asks for the
    // one it shows, so the start-up draws no other; a StatusNotifier host is
    // sent every size offered.
    QList<QSize> offered;
    for (const int size : pixelSizes)
        offered.append(QSize(size, size));
    return Symbols::drawnIcon([=](int side) { return image(count, tray, look, side); }, offered);
}

} // namespace StatusBarIcon
