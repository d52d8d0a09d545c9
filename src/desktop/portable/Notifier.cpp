#include "desktop/Notifier.h"

#include <QPointer>
#include <QSystemTrayIcon>

// Qt's tray messages have no actions and no way to close one, so a choice
// never arrives and a withdrawal has nothing to do.
struct Notifier::Private {
    QPointer<QSystemTrayIcon> trayIcon;
};

Notifier::Notifier(QSystemTrayIcon *trayIcon, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->trayIcon = trayIcon;
}

Notifier::~Notifier() = default;

void Notifier::post(const RequestNotification &notification)
{
    if (d->trayIcon && QSystemTrayIcon::supportsMessages())
        d->trayIcon->showMessage(notification.title, notification.body);
}

void Notifier::withdraw(qint64) {}

void Notifier::withdrawAll() {}

void Notifier::setChoiceHandler(NotificationChoiceHandler) {}

QCoro::Task<> Notifier::readCapabilities()
{
    co_return;
}
