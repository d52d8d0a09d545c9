#pragma once

#include "updates/Alert.h"

#include <qcoro/qcorotask.h>

// Modal alerts, which need a GUI application.
namespace DesktopUi {
// Informational, application-modal; buttons in the given order, the first one
// the default. Returns once the alert is shown; the task ends with the pressed
// button's index, or -1 when the alert was dismissed without one.
QCoro::Task<int> showAlert(Alert alert);
} // namespace DesktopUi
