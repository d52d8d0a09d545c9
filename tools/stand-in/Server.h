#pragma once

#include "FaultPlan.h"
#include "Router.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QPointer>

#include <chrono>

class QTcpSocket;
class Store;

// Serves every call through one router. API calls (/api/..., /mac-app/...)
// are recorded for the control API and may be disturbed by planned faults.
// Each call is announced on stdout as "METHOD /path STATUS", never with its
// query or headers, which may carry secrets.
class Server : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit Server(Store &store, QObject *parent = nullptr);

    // The origin used to build links when a call names no usable Host.
    void setOrigin(const QString &origin) { m_origin = origin; }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    // Sends `reply`, or cuts the connection when there is none.
    void finish(const Call &call, const std::optional<Fault> &fault, const std::optional<Reply> &reply,
                const QHttpServerRequest *request, const QPointer<QTcpSocket> &socket);
    void record(const Call &call, std::optional<int> status);
    // Stops listening and closes every connection; listens again on the same
    // port after `span`.
    void pauseListening(std::chrono::milliseconds span);
    static void respond(const QHttpServerRequest &request, QTcpSocket *socket, const Reply &reply,
                        bool truncate = false);

    Router m_router;
    FaultPlan m_faults;
    QJsonArray m_callLog;
    QString m_origin;
    QByteArray m_lastDropped; // the last call cut by a planned drop, and since when
    QElapsedTimer m_lastDrop;
    int m_connections = 0;
};
