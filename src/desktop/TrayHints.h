#pragma once

#include <QColor>

#include <optional>

// What the desktop tells about the bar the tray icon sits on.
namespace TrayHints {
// The text colour the system tray asks its icons to match, where it publishes
// one (an X11 system tray's _NET_SYSTEM_TRAY_COLORS); read at the call.
std::optional<QColor> trayForeground();
} // namespace TrayHints
