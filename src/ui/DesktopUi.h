#pragma once

struct Alert;
class QUrl;

// The desktop services that need a GUI application: the browser and modal alerts.
namespace DesktopUi {
void openUrl(const QUrl &url);
// Informational, application-modal; buttons in the given order, the first one
// the default. Returns the pressed button's index, or -1 when dismissed without one.
int showAlert(const Alert &alert);
} // namespace DesktopUi
