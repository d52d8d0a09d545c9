// The baselines the tray app is measured against: the least a Qt Widgets tray
// app doing the same job costs. A tray icon, a pop-up with four labels and a
// button, one D-Bus call at start, and three GETs at once on one access manager
// every 10 s. Built twice: as is (the token comes from CUELARK_BENCH_TOKEN), and
// with BASELINE_KEYCHAIN, where one secret-store read at start gives the token.

#include "AppConfig.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QJsonDocument>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#ifdef BASELINE_KEYCHAIN
#include <qt6keychain/keychain.h>
#endif

#include <functional>

namespace {

QIcon trayIcon()
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(30, 30, 30));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(8, 8, 48, 48));
    return QIcon(QPixmap::fromImage(image));
}

void startPolling(QNetworkAccessManager &network, const QString &token, QTimer &timer)
{
    const QString base = QString::fromLatin1(AppConfig::serviceUrl);
    const QByteArray bearer = "Bearer " + token.toUtf8();
    const auto poll = [&network, base, bearer] {
        for (const char *path : {"/api/glasses/me", "/api/glasses/events", "/api/glasses/requests?eventId=102&limit=25"}) {
            QNetworkRequest request(QUrl(base + QLatin1String(path)));
            request.setRawHeader("Authorization", bearer);
            // Tells the stand-in's log which program called.
            request.setHeader(QNetworkRequest::UserAgentHeader, QCoreApplication::applicationName());
            QNetworkReply *reply = network.get(request);
            QObject::connect(reply, &QNetworkReply::finished, reply, [reply] {
                (void)QJsonDocument::fromJson(reply->readAll());
                reply->deleteLater();
            });
        }
    };
    QObject::connect(&timer, &QTimer::timeout, &network, poll);
    timer.start(10'000);
    poll();
}

void readToken(const std::function<void(const QString &)> &done)
{
#ifdef BASELINE_KEYCHAIN
    auto *job = new QKeychain::ReadPasswordJob(QString::fromLatin1(AppConfig::appId));
    job->setKey(QStringLiteral("glasses-bearer-token"));
    QObject::connect(job, &QKeychain::Job::finished, job, [job, done] {
        done(QString::fromUtf8(job->binaryData()));
    });
    job->start();
#else
    done(qEnvironmentVariable("CUELARK_BENCH_TOKEN"));
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QWidget popup(nullptr, Qt::Popup);
    auto *column = new QVBoxLayout(&popup);
    for (const char *text : {"Signed in", "Event", "Pending", "Updated"})
        column->addWidget(new QLabel(QString::fromLatin1(text)));
    column->addWidget(new QPushButton(QStringLiteral("Quit")));

    QSystemTrayIcon tray(trayIcon());
    QObject::connect(&tray, &QSystemTrayIcon::activated, &popup, [&popup] {
        popup.move(QCursor::pos());
        popup.show();
    });
    tray.show();

    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetCapabilities")));

    QNetworkAccessManager network;
    QTimer timer;
    readToken([&](const QString &token) { startPolling(network, token, timer); });
    return app.exec();
}
