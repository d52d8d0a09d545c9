#pragma once

#include "Flow.h"
#include "updates/UpdateChecker.h"

#include <functional>

struct Platform;
class GlassesAPIClient;

// The update checks and their alerts. Alerts from the automatic check are held
// back for 24 hours after the last one; alerts the user asked for always
// appear. The flows read `platform` until they end, so it must outlive their
// scope's handle.
namespace UpdateNotifier {
// Fetches the release record through `client` (which carries no token) and
// tells what came of it. The automatic check keeps quiet about a failure; the
// one the DJ asked for shows it, since "up to date" would be a wrong answer
// when nothing could be learnt.
Flow check(FlowScope scope, GlassesAPIClient client, bool userInitiated, const Platform &platform,
           std::function<void(const QUrl &)> openPage);
// Offers a newer release, unless the throttle holds the alert back. "Download"
// hands the release's page to `openPage`.
Flow offer(FlowScope scope, UpdateAvailable update, bool userInitiated, const Platform &platform,
           std::function<void(const QUrl &)> openPage);
QString updateMessage(const UpdateAvailable &update);
} // namespace UpdateNotifier
