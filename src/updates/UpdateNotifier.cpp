#include "updates/UpdateNotifier.h"

#include "Logging.h"
#include "Platform.h"
#include "api/Errors.h"
#include "api/GlassesAPIClient.h"

#include <QCoreApplication>
#include <QStringList>
#include <QVariant>

namespace UpdateNotifier {

namespace {

// The translation context of the alerts' texts.
struct AlertTexts {
    Q_DECLARE_TR_FUNCTIONS(UpdateNotifier)
};

constexpr QLatin1String lastPromptKey("lastUpdatePromptDate");
constexpr qint64 promptIntervalMs = 86'400'000;

// A stored value of any other type, or a date that cannot be read, counts as no
// date at all, so a damaged setting can never silence the alert for good.
bool shouldPromptAgain(const Platform &platform)
{
    const QVariant stored = platform.openSettings()->value(lastPromptKey);
    if (stored.typeId() != QMetaType::QDateTime)
        return true;
    const QDateTime lastPrompt = stored.toDateTime();
    if (!lastPrompt.isValid())
        return true;
    // A date in the future (the clock was set back) keeps the alert silent until
    // a full interval after it.
    return lastPrompt.msecsTo(platform.now()) >= promptIntervalMs;
}

void recordPromptDate(const Platform &platform)
{
    platform.openSettings()->setValue(lastPromptKey, platform.now().toUTC());
}

} // namespace

QString updateMessage(const UpdateAvailable &update)
{
    QStringList lines{
        update.releaseNotes,
        QString(),
        AlertTexts::tr("Download the new package, quit Cuelark, install it, then reopen the app."),
    };
    if (!(update.isSigned && update.isVetted)) {
        lines << QString()
              << AlertTexts::tr("This is an unsigned beta build. Install it only if it came from the official "
                           "Cuelark download.");
    }
    return lines.join(QLatin1Char('\n'));
}

Flow offer(FlowScope, UpdateAvailable update, bool userInitiated, const Platform &platform,
           std::function<void(const QUrl &)> openPage)
{
    if (!userInitiated && !shouldPromptAgain(platform)) {
        qCDebug(lcUpdates) << "update alert for" << update.version << "held back: shown within the last day";
        co_return;
    }
    // (Built before the await: GCC 12 cannot keep a braced list in a co_await.)
    Alert alert{
        .title = AlertTexts::tr("Update available (v%1)").arg(update.version),
        .body = updateMessage(update),
        .buttons = {AlertTexts::tr("Download"), AlertTexts::tr("Later")},
    };
    const int pressed = co_await platform.showAlert(std::move(alert));
    qCDebug(lcUpdates) << "update alert for" << update.version << "answered with button" << pressed;
    if (pressed == 0)
        openPage(update.downloadURL);
    // Whatever the answer, the next automatic alert waits a full interval.
    recordPromptDate(platform);
}

Flow check(FlowScope scope, GlassesAPIClient client, bool userInitiated, const Platform &platform,
           std::function<void(const QUrl &)> openPage)
{
    qCDebug(lcUpdates) << (userInitiated ? "update check asked for" : "automatic update check");
    std::optional<UpdateAvailable> update;
    std::optional<QString> failure;
    try {
        update = co_await UpdateChecker::fetchUpdate(client);
    } catch (const ServiceError &error) {
        qCWarning(lcUpdates) << "update check failed:" << error.description();
        failure = error.description();
    }
    if (update) {
        offer(std::move(scope), std::move(*update), userInitiated, platform, std::move(openPage));
        co_return;
    }
    if (!userInitiated)
        co_return;
    Alert outcome{
        .title = failure ? AlertTexts::tr("Couldn't check for updates") : AlertTexts::tr("You're up to date"),
        .body = failure ? *failure
                        : AlertTexts::tr("Cuelark v%1 is the latest version.").arg(AppVersion::shortVersion()),
        .buttons = {AlertTexts::tr("OK")},
    };
    co_await platform.showAlert(std::move(outcome));
}

} // namespace UpdateNotifier
