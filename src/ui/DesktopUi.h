#pragma once

struct Alert;

// Modal alerts, which need a GUI application.
namespace DesktopUi {
// Informational, application-modal; buttons in the given order, the first one
// the default. Returns the pressed button's index, or -1 when dismissed without one.
int showAlert(const Alert &alert);
} // namespace DesktopUi
