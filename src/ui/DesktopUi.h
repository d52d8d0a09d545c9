#pragma once

struct Alert;
struct Platform;
class QUrl;

// The platform services that need a GUI application: the browser and modal alerts.
namespace DesktopUi {
void openUrl(const QUrl &url);
// Informational, application-modal; buttons in the given order, the first one
// the default. Returns the pressed button's index, or -1 when dismissed without one.
int runAlert(const Alert &alert);
void install(Platform &platform);
} // namespace DesktopUi
