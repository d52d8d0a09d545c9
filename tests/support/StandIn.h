#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
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

    // One blocking HTTP exchange (spins an event loop) with a path or an address,
    // redirects not followed: the status (0 when no answer came) and the body.
    std::pair<int, QByteArray> send(const QByteArray &method, const QUrl &target, const QByteArray &body = {},
                                    const QByteArray &contentType = {}, const QByteArray &authorization = {});

    // A blocking call of the control API: its JSON answer.
    // Fails the test on a non-2xx answer.
    QJsonValue control(const QByteArray &method, const QString &path, const QJsonObject &body = {});

    // The API calls served so far (control calls excluded), oldest first.
    QJsonArray log() { return control("GET", QStringLiteral("/control/log")).toArray(); }
    // What `calls` shows of each call beyond "METHOD /path".
    enum CallDetail { withQuery = 1, withHeaders = 2, withBody = 4 };
    Q_DECLARE_FLAGS(CallDetails, CallDetail)
    // The log, a line a call: "METHOD /path?query Authorization|Content-Type|poll-token
    // body" with "-" for a header not sent, each part beyond method and path only
    // when asked for.
    QStringList calls(CallDetails details = {});
    void clearCalls() { control("DELETE", QStringLiteral("/control/log")); }

    // The next API calls misbehave as `fault` describes it in the control API's
    // terms (path prefix, count, status, body, delayMs, drop, chunked, ...).
    void inject(const QJsonObject &fault) { control("POST", QStringLiteral("/control/inject"), fault); }
    // The next `count` API calls on paths starting with `path` are answered
    // with `status` and `body` instead of the service's own.
    void answerNext(int status, const QByteArray &body, int count = 1, const QString &path = {});

    // A bearer token the service accepts for the seeded DJ.
    QString issueToken() { return control("POST", QStringLiteral("/control/tokens"))[QStringLiteral("token")].toString(); }

    // Completes a pending browser sign-in the way the DJ's browser would: loads
    // the page at `authUrl` and submits its "Approve" form.
    void approveInBrowser(const QUrl &authUrl);

private:
    QProcess m_process;
    QUrl m_url;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(StandIn::CallDetails)
