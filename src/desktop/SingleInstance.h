#pragma once

#include <QFile>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

// One running app per user and display. The first start holds a lock file in
// the user's runtime directory and listens on a local socket beside it; a later
// start finds the lock taken and asks the running app, through the socket, to
// open its panel. The lock ends with its process, so a start after a crash
// takes over the lock and replaces the socket the crashed run left behind.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        first,      // this process is the running app: call listen() once the event loop exists
        handedOver, // the running app took the request
        noAnswer,   // another process holds the lock but did not take the request
        unavailable // no private runtime directory or no lock: this start runs alone
    };

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // Needs a QCoreApplication but no display, so it can run before the
    // QApplication exists. Waits at most a few seconds, and only while a
    // running app is starting up. takeLock() then handOver(), in one.
    Claim claim();
    // The lock alone, which needs no QCoreApplication: first or unavailable,
    // or nothing when another process holds it.
    std::optional<Claim> takeLock();
    // Asks the process that holds the lock to open its panel (needs a
    // QCoreApplication): handedOver or noAnswer.
    Claim handOver();
    // For the first: hears later starts from now on.
    void listen();

Q_SIGNALS:
    // A later start asked for the panel.
    void panelRequested();

private:
    void serve(QLocalSocket *socket);

    QString m_path; // of the lock and the socket, without their suffixes
    std::unique_ptr<QFile> m_lock; // held locked while this is the running app
    std::unique_ptr<QLocalServer> m_server;
};
