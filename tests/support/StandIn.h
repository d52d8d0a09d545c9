#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// The stand-in service as a child process on a free loopback port, for the
// suites that talk to a real server. Started in the constructor (waits until it
// listens), stopped in the destructor.
class StandIn {
public:
    explicit StandIn(const QStringList &extraArgs = {});
    ~StandIn();
    StandIn(const StandIn &) = delete;
    StandIn &operator=(const StandIn &) = delete;

    QUrl url() const { return m_url; }

    struct Answer {
        int status = 0; // 0 when no HTTP answer came
        QByteArray body;
    };

    // One blocking HTTP exchange (spins an event loop). `target` is resolved
    // against url(), so a path or an absolute address both work. Redirects are
    // not followed. Never fails the test by itself.
    Answer send(const QByteArray &method, const QUrl &target, const QByteArray &body = {},
                const QList<QPair<QByteArray, QByteArray>> &headers = {});

    // A blocking call of the control API (spins an event loop); returns the
    // parsed JSON answer (null when empty). Fails the test on a non-2xx answer.
    QJsonValue control(const QByteArray &method, const QString &path,
                       const QJsonObject &body = {});

    // The API calls served so far (control calls excluded), oldest first.
    QJsonArray log() { return control("GET", QStringLiteral("/control/log")).toArray(); }

    // A bearer token the service accepts for the seeded DJ.
    QString issueToken() { return control("POST", QStringLiteral("/control/tokens")).toObject().value(QStringLiteral("token")).toString(); }

    // Completes a pending browser sign-in the way the DJ's browser would: loads
    // the page at `authUrl` and submits its "Approve" form.
    void approveInBrowser(const QUrl &authUrl);

private:
    QProcess m_process;
    QUrl m_url;
    QByteArray m_output;
};
