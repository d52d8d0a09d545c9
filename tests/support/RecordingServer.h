#pragma once

#include <QByteArray>
#include <QHttpServer>
#include <QMap>
#include <QString>
#include <QTcpServer>
#include <QUrl>

struct RecordedRequest {
    QByteArray method;
    QString path;
    QString query;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// A loopback HTTP server in the test process that records every request and
// answers each with the one canned response set last.
class RecordingServer {
public:
    RecordingServer();

    QUrl url() const { return m_url; }
    void answer(int status, QByteArray body, QByteArray contentType = "application/json");

    QList<RecordedRequest> requests;
    int connections = 0; // TCP connections accepted

private:
    QHttpServer m_server;
    QTcpServer m_listener;
    QUrl m_url;
    int m_status = 200;
    QByteArray m_body = "{}";
    QByteArray m_contentType = "application/json";
};
