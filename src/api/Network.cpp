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
        // Gone before the application object is: its worker thread must not
        // deliver events to a half-destroyed application at exit.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, manager,
                         [] { delete manager.data(); });
    }
    return manager;
}

} // namespace Network
