#include "api/Network.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QPointer>

namespace Network {

QNetworkAccessManager *accessManager()
{
    // Owned by the application object so it goes before the event loop does;
    // re-created if a test suite destroyed it with its application.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        // The service's answers are never taken from or put into a cache.
        manager->setCache(nullptr);
        manager->setTransferTimeout(60'000);
    }
    return manager;
}

} // namespace Network
