#pragma once

#include "updates/UpdateChecker.h"

#include <functional>

struct Platform;

// The update alerts. Alerts from the automatic check are held back for 24 hours
// after the last one; alerts the user asked for always appear.
namespace UpdateNotifier {
// True when the alert was shown, false when the throttle held it back.
// "Download" hands the release's page to `openPage`.
bool promptIfNeeded(const UpdateAvailable &update, bool userInitiated, const Platform &platform,
                    const std::function<void(const QUrl &)> &openPage);
void showUpToDateAlert(const Platform &platform);
// For the check the user asked for: `reason` is the failure's own description.
void showCheckFailedAlert(const QString &reason, const Platform &platform);
QString updateMessage(const UpdateAvailable &update);
} // namespace UpdateNotifier
