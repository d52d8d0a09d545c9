#include "StandIn.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int startTimeoutMs = 20'000;
constexpr int callTimeoutMs = 30'000;

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
    m_process.setProgram(QStringLiteral(CUELARK_STAND_IN_PATH));
    m_process.setArguments(QStringList{u"--port"_s, u"0"_s} + extraArgs);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();

    const QDeadlineTimer deadline(startTimeoutMs);
    while (!m_output.contains('\n') && m_process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        m_process.waitForReadyRead(int(deadline.remainingTime()));
        m_output += m_process.readAllStandardOutput();
    }
    const QByteArray firstLine = m_output.left(m_output.indexOf('\n'));
    constexpr QByteArrayView prefix = "listening on ";
    if (firstLine.startsWith(prefix))
        m_url = QUrl(QString::fromUtf8(firstLine.mid(prefix.size())));
    if (!m_url.isValid()) {
        fail(u"the stand-in did not start (%1): %2"_s.arg(m_process.errorString(),
                                                           QString::fromUtf8(m_output)));
        return;
    }
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                     [this] { m_process.readAllStandardOutput(); }); // one line a call, unread
}

StandIn::~StandIn()
{
    QObject::disconnect(&m_process, nullptr, nullptr, nullptr);
    m_process.kill();
    m_process.waitForFinished(5000);
}

StandIn::Answer StandIn::send(const QByteArray &method, const QUrl &target, const QByteArray &body,
                              const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QNetworkAccessManager network;
    QNetworkRequest request(m_url.resolved(target));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(callTimeoutMs);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);

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
    const Answer answer = send(method, QUrl(path),
                               sendsBody ? QJsonDocument(body).toJson(QJsonDocument::Compact) : QByteArray(),
                               {{"Content-Type", "application/json"}});
    if (answer.status < 200 || answer.status > 299) {
        fail(u"stand-in control %1 %2 answered %3: %4"_s.arg(QString::fromLatin1(method), path,
                                                             QString::number(answer.status),
                                                             QString::fromUtf8(answer.body)));
        return {};
    }
    const QJsonDocument document = QJsonDocument::fromJson(answer.body);
    return document.isArray()    ? QJsonValue(document.array())
           : document.isObject() ? QJsonValue(document.object())
                                 : QJsonValue();
}

void StandIn::approveInBrowser(const QUrl &authUrl)
{
    const Answer page = send("GET", authUrl);
    if (page.status != 200) {
        fail(u"sign-in page %1 answered %2"_s.arg(authUrl.toString()).arg(page.status));
        return;
    }
    const QString html = QString::fromUtf8(page.body);
    const QString action = firstCapture(uR"re(<form[^>]*\baction="([^"]*)")re"_s, html);
    const QString session = firstCapture(uR"re(<input[^>]*\bname="session"[^>]*\bvalue="([^"]*)")re"_s, html);
    if (action.isEmpty() || session.isEmpty()) {
        fail(u"no approval form on the sign-in page: %1"_s.arg(html));
        return;
    }
    const Answer approval = send("POST", authUrl.resolved(QUrl(action)),
                                 "session=" + QUrl::toPercentEncoding(session),
                                 {{"Content-Type", "application/x-www-form-urlencoded"}});
    if (approval.status != 303 && (approval.status < 200 || approval.status > 299))
        fail(u"approving the sign-in answered %1"_s.arg(approval.status));
}
