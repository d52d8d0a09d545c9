#include "support/ServiceHarness.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

ServiceHarness::ServiceHarness(const QStringList &serviceArgs)
    : service(std::make_unique<StandIn>(serviceArgs))
{
    desktop.clock = QDateTime::currentDateTimeUtc();
}

ServiceHarness::~ServiceHarness()
{
    state.reset();
    // Aborted calls and cancelled waits resume on the next turns of the loop.
    QTest::qWait(50);
}

AppState &ServiceHarness::start(double waitScale)
{
    state = std::make_unique<AppState>(desktop.platform(waitScale), service->url());
    return *state;
}

AppState &ServiceHarness::startSignedIn(double waitScale)
{
    const QString releaseCheck = u"GET /mac-app/latest.json"_s;
    const qsizetype checksBefore = countCalls(releaseCheck);
    desktop.storedToken = service->issueToken();
    start(waitScale);
    // The update check that follows the first good cycle is out of the way too,
    // so tests see only the calls they cause.
    if (!waitUntil([&] { return state->lastUpdated().has_value() && countCalls(releaseCheck) > checksBefore; }))
        qFatal("the first refresh cycle did not finish");
    return *state;
}

void ServiceHarness::answerNext(const QString &path, const QJsonObject &body, int count)
{
    service->answerNext(200, QJsonDocument(body).toJson(QJsonDocument::Compact), count, path);
}

void ServiceHarness::failNext(const QString &path, int status, int delayMs, int count)
{
    service->inject({{u"path"_s, path}, {u"count"_s, count}, {u"status"_s, status}, {u"delayMs"_s, delayMs},
                     {u"body"_s, u"{\"error\":\"Service unavailable\"}"_s}});
}

void ServiceHarness::delayNext(const QString &path, int delayMs, int count)
{
    service->inject({{u"path"_s, path}, {u"count"_s, count}, {u"delayMs"_s, delayMs}});
}

qint64 ServiceHarness::addRequest(const QString &title, qint64 eventId)
{
    return service->control("POST", u"/control/requests"_s,
                            {{u"songTitle"_s, title}, {u"artistName"_s, u"Artist"_s}, {u"eventId"_s, eventId}})[u"id"_s]
        .toInteger();
}
