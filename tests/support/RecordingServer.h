#pragma once

#include <QByteArray>
#include <QHttpServer>
#include <QList>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>
#include <QUrl>

struct RecordedRequest {
    QByteArray method;
    QString path;
    QString query;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    bool hasHeader(const QByteArray &name) const;
    QByteArray header(const QByteArray &name) const;
};

// A loopback HTTP(S) server in the test process that records every request and
// answers each with the one canned response set last.
class RecordingServer {
public:
    RecordingServer();
    // Serves TLS with this certificate instead of plain HTTP.
    RecordingServer(const QSslCertificate &certificate, const QSslKey &key);

    QUrl url() const { return m_url; }
    void answer(int status, QByteArray body, QByteArray contentType = "application/json");

    QList<RecordedRequest> requests;
    int connections = 0; // TCP connections accepted (plain HTTP only)

private:
    void install();
    QHttpServer m_server;
    QTcpServer m_listener;
    QUrl m_url;
    int m_status = 200;
    QByteArray m_body = "{}";
    QByteArray m_contentType = "application/json";
};
