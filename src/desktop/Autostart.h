#pragma once

#include <QString>

// "Start at login" on a freedesktop desktop: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<app id>.desktop (~/.config when unset). Its
// presence is the setting; nothing else records it.
namespace Autostart {
QString entryPath();
bool isEnabled();
// Writes an entry that starts `executable`, or removes it. False when the file
// could not be written or removed (or the path cannot go into an entry).
bool setEnabled(bool enabled, const QString &executable);
// `executable` as the Exec key's value: quoted and escaped when it holds
// anything but plain path characters; empty when it holds a line break.
QString execValue(const QString &executable);
} // namespace Autostart
