#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

#include <optional>

class AppState;

// The tray icon: the music-note-list symbol with the pending count drawn on it,
// dimmed while signed out and marked while the numbers are stale.
namespace StatusBarIcon {
// Shown only while signed in with at least one pending request.
std::optional<qint64> pendingCount(const AppState &state);

// How the icon looks: live; dimmed (signed out or signing in); or stale, with a
// warning mark because the last refresh failed (the badge keeps the last count).
enum class Look { live, dimmed, stale };
Look look(const AppState &state);

// The colour of the bar the icon sits on, as far as the desktop tells; the
// symbol is drawn to contrast with it. Where nothing is known it is drawn light
// with a dark halo, which reads on dark, light and mid-grey bars alike.
enum class Tray { dark, light, unknown };

// The bar from the desktop's hints: the tray's own foreground colour where it
// publishes one (light text means a dark bar), else the desktop, when its bar
// is dark in every theme (GNOME Shell's top bar). `desktops` is
// XDG_CURRENT_DESKTOP, a colon-separated list.
Tray trayFor(std::optional<QColor> trayForeground, const QString &desktops);

// The colours the note is drawn in: the fill, and the halo around it (if any).
struct Ink {
    QColor fill;
    std::optional<QColor> halo;
};
Ink ink(Tray tray, Look look);

// Tray icons are drawn at these pixel sizes (16, 22, 24 and 32, once and twice over).
inline constexpr int pixelSizes[] = {16, 22, 24, 32, 44, 48, 64};
inline constexpr int largestSize = 64;

// The bare symbol at the largest size, built once per tray kind.
const QImage &baseImage(Tray tray);
// Drawn for `size` pixels, not scaled from another size, so it stays sharp.
QImage image(std::optional<qint64> count, Tray tray, Look look = Look::live, int size = largestSize);
// Offers every size of pixelSizes, and draws each (or any other asked for)
// when first asked.
QIcon icon(std::optional<qint64> count, Tray tray, Look look = Look::live);
} // namespace StatusBarIcon
