#include "Platform.h"

#include "AppConfig.h"
#include "auth/KeychainTokenStore.h"
#include "notifications/RequestNotifier.h"

#include <cmath>

Platform Platform::desktop()
{
    Platform platform;
    platform.loadToken = &KeychainTokenStore::load;
    platform.saveToken = &KeychainTokenStore::save;
    platform.clearToken = &KeychainTokenStore::clear;
    platform.now = [] { return QDateTime::currentDateTimeUtc(); };
    platform.wait = [](double seconds) { return std::chrono::milliseconds(std::llround(seconds * 1000.0)); };
    platform.openUrl = [](const QUrl &) {};
    platform.requestNotificationPermission = &RequestNotifier::requestPermission;
    platform.notifyNewRequest = &RequestNotifier::notifyNewRequest;
    platform.withdrawNotification = &RequestNotifier::withdraw;
    platform.listenToNotificationChoices = &RequestNotifier::setChoiceHandler;
    platform.runAlert = [](const Alert &) { return -1; };
    platform.openSettings = [] {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QString::fromLatin1(AppConfig::appId));
    };
    return platform;
}
