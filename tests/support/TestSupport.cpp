#include "support/TestSupport.h"

#include "AppState.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTest>

QNetworkAccessManager *loopbackNetwork()
{
    // Deleted before the application is: its worker must not reach a half-destroyed one.
    static QNetworkAccessManager *const network = (qAddPostRoutine([] { delete network; }), new QNetworkAccessManager);
    return network;
}

Platform FakeDesktop::platform(double waitScale)
{
    Platform platform;
    // A copy: QCoro 0.8 moves from an lvalue given to co_return.
    platform.loadToken = [this]() -> QCoro::Task<StoredToken> { co_return StoredToken{storedToken, storeUnreadable}; };
    platform.saveToken = [this](const QString &token, const std::function<void(bool)> &kept) {
        if (!storeUnreadable)
            storedToken = token;
        if (kept)
            kept(!storeUnreadable);
    };
    platform.clearToken = [this] {
        storedToken.reset();
        ++tokenClears;
    };
    platform.now = [this] { return clock; };
    platform.wait = [this, waitScale](double seconds) {
        waits.append(seconds);
        return std::chrono::milliseconds(qint64(seconds * waitScale * 1000));
    };
    platform.network = network;
    platform.idleTimeout = idleTimeout;
    platform.openUrl = [this](const QUrl &url, const std::function<void()> &unopened) {
        openedUrls.append(url);
        if (!browserWorks)
            unopened();
    };
    platform.readNotificationCapabilities = [this]() -> QCoro::Task<> {
        ++capabilityReads;
        co_return;
    };
    platform.notifyNewRequest = [this](const RequestNotification &notification) { notifications.append(notification); };
    platform.withdrawNotification = [](qint64) {};
    platform.listenToNotificationChoices = [](const NotificationChoiceHandler &) {};
    platform.listenToSystem = [this](SystemEventHandler handler) { systemEvents = std::move(handler); };
    platform.showAlert = [this](Alert alert) -> QCoro::Task<int> {
        alerts.append(std::move(alert));
        co_return alertAnswer;
    };
    platform.openSettings = [this] {
        return std::make_unique<QSettings>(settingsDir.filePath(QStringLiteral("settings.ini")),
                                           QSettings::IniFormat);
    };
    platform.startsAtLogin = [this] { return startsAtLogin; };
    platform.setStartAtLogin = [this](bool enabled) {
        if (startAtLoginWritable)
            startsAtLogin = enabled;
        return startsAtLogin == enabled;
    };
    return platform;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

bool refreshed(AppState &app, int timeoutMs)
{
    // The cycle in flight, if any, ends first and does not count.
    bool started = false, ended = false;
    const QMetaObject::Connection onStart = QObject::connect(&app.refreshLoop(), &RefreshLoop::cycleStarted,
                                                             [&] { started = true; });
    const QMetaObject::Connection onEnd = QObject::connect(&app.refreshLoop(), &RefreshLoop::cycleEnded,
                                                           [&] { ended = started; });
    app.refresh();
    const bool done = ended || waitUntil([&] { return ended; }, timeoutMs);
    QObject::disconnect(onStart);
    QObject::disconnect(onEnd);
    return done;
}
