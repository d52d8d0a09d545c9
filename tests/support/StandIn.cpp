#include "StandIn.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

void fail(const QString &message)
{
    QTest::qFail(qUtf8Printable(message), __FILE__, __LINE__);
}

// The first match's group, with the page's HTML escaping undone.
QString firstCapture(const QString &pattern, const QString &html)
{
    return QRegularExpression(pattern).match(html).captured(1).replace(u"&quot;"_s, u"\""_s)
        .replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&amp;"_s, u"&"_s);
}

} // namespace

StandIn::StandIn(const QStringList &extraArgs)
{
    // Beside the suites and benchmarks of the same build, whatever its folder,
    // so that every build compiles the suites alike (and shares their compiles).
    m_process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/stand-in/cuelark-stand-in"));
    m_process.setArguments(QStringList{u"--port"_s, u"0"_s} + extraArgs);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    QByteArray output;
    const QDeadlineTimer deadline(20'000);
    while (!output.contains('\n') && m_process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        m_process.waitForReadyRead(int(deadline.remainingTime()));
        output += m_process.readAllStandardOutput();
    }
    constexpr QByteArrayView prefix = "listening on ";
    if (output.startsWith(prefix))
        m_url = QUrl(QString::fromUtf8(output.mid(prefix.size(), output.indexOf('\n') - prefix.size())));
    if (!m_url.isValid())
        fail(u"the stand-in did not start (%1): %2"_s.arg(m_process.errorString(), QString::fromUtf8(output)));
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                     [this] { m_process.readAllStandardOutput(); }); // one line a call, unread
}

StandIn::~StandIn()
{
    QObject::disconnect(&m_process, nullptr, nullptr, nullptr);
    m_process.kill();
    m_process.waitForFinished(5000);
}

std::pair<int, QByteArray> StandIn::send(const QByteArray &method, const QUrl &target, const QByteArray &body,
                                         const QByteArray &contentType, const QByteArray &authorization)
{
    QNetworkAccessManager network;
    QNetworkRequest request(m_url.resolved(target));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(30'000);
    if (!contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    const std::unique_ptr<QNetworkReply> reply(network.sendCustomRequest(request, method, body));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

QJsonValue StandIn::control(const QByteArray &method, const QString &path, const QJsonObject &body)
{
    const bool sendsBody = method != "GET" && method != "DELETE";
    const auto [status, answer] = send(method, QUrl(path), sendsBody ? QJsonDocument(body).toJson() : QByteArray(),
                                       "application/json");
    if (status < 200 || status > 299) {
        fail(u"stand-in control %1 %2 answered %3: %4"_s.arg(QString::fromLatin1(method), path,
                                                             QString::number(status), QString::fromUtf8(answer)));
        return {};
    }
    const QJsonDocument document = QJsonDocument::fromJson(answer);
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

void StandIn::approveInBrowser(const QUrl &authUrl)
{
    const auto [status, page] = send("GET", authUrl);
    const QString html = QString::fromUtf8(page);
    const QString action = firstCapture(uR"re(<form[^>]*\baction="([^"]*)")re"_s, html);
    const QString session = firstCapture(uR"re(<input[^>]*\bname="session"[^>]*\bvalue="([^"]*)")re"_s, html);
    if (status != 200 || action.isEmpty() || session.isEmpty())
        return fail(u"no approval form on the sign-in page %1 (HTTP %2): %3"_s.arg(authUrl.toString()).arg(status).arg(html));
    const int approval = send("POST", authUrl.resolved(QUrl(action)), "session=" + QUrl::toPercentEncoding(session),
                              "application/x-www-form-urlencoded").first;
    if (approval != 303 && (approval < 200 || approval > 299))
        fail(u"approving the sign-in answered %1"_s.arg(approval));
}

void StandIn::answerNext(int status, const QByteArray &body, int count, const QString &path)
{
    inject({{u"path"_s, path}, {u"count"_s, count}, {u"status"_s, status},
            {u"bodyBase64"_s, QString::fromLatin1(body.toBase64())}});
}

QStringList StandIn::calls(CallDetails details)
{
    QStringList calls;
    for (const QJsonValue &call : log()) {
        QString line = call[u"method"_s].toString() + u' ' + call[u"path"_s].toString();
        if (const QString query = call[u"query"_s].toString(); details.testFlag(withQuery) && !query.isEmpty())
            line += u'?' + query;
        if (details.testFlag(withHeaders)) {
            QStringList headers;
            for (const QString &name : {u"authorization"_s, u"contentType"_s, u"pollToken"_s})
                headers << call[name].toString(u"-"_s);
            line += u' ' + headers.join(u'|');
        }
        if (details.testFlag(withBody))
            line += u' ' + call[u"body"_s].toString();
        calls.append(line.trimmed());
    }
    return calls;
}
