#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

#include <optional>

class AppState;

// The tray icon: the music-note-list symbol with the pending count drawn on it.
namespace StatusBarIcon {
// Shown only while signed in with at least one pending request.
std::optional<qint64> pendingCount(const AppState &state);

// "Cuelark", or "Cuelark — 12 pending".
QString toolTip(std::optional<qint64> count);

// The colour of the tray the icon sits on; the symbol is drawn to contrast with it.
enum class Tray { dark, light };

// The bare symbol, built once per tray kind.
const QImage &baseImage(Tray tray);
QImage image(std::optional<qint64> count, Tray tray);
QIcon icon(std::optional<qint64> count, Tray tray);
} // namespace StatusBarIcon
