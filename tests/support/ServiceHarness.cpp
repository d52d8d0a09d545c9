#include "support/ServiceHarness.h"

#include <QJsonDocument>
#include <QTest>

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
    const QString releaseCheck = QStringLiteral("GET /mac-app/latest.json");
    const qsizetype checksBefore = countCalls(releaseCheck);
    desktop.storedToken = service->issueToken();
    start(waitScale);
    // The update check that follows the first good cycle is out of the way too,
    // so tests see only the calls they cause.
    if (!waitUntil([&] { return state->lastUpdated().has_value() && countCalls(releaseCheck) > checksBefore; }))
        qFatal("the first refresh cycle did not finish");
    return *state;
}

void ServiceHarness::inject(const QJsonObject &fault)
{
    service->control("POST", QStringLiteral("/control/inject"), fault);
}

void ServiceHarness::answer(const QString &path, const QJsonObject &body, int count)
{
    inject({{QStringLiteral("path"), path}, {QStringLiteral("count"), count}, {QStringLiteral("status"), 200},
            {QStringLiteral("body"), QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}});
}

void ServiceHarness::fail(const QString &path, int status, int delayMs, int count)
{
    inject({{QStringLiteral("path"), path}, {QStringLiteral("count"), count}, {QStringLiteral("status"), status},
            {QStringLiteral("delayMs"), delayMs},
            {QStringLiteral("body"), QStringLiteral("{\"error\":\"Service unavailable\"}")}});
}

void ServiceHarness::delay(const QString &path, int delayMs, int count)
{
    inject({{QStringLiteral("path"), path}, {QStringLiteral("count"), count}, {QStringLiteral("delayMs"), delayMs}});
}

qint64 ServiceHarness::addRequest(const QString &title, qint64 eventId)
{
    return service
        ->control("POST", QStringLiteral("/control/requests"),
                  {{QStringLiteral("songTitle"), title}, {QStringLiteral("artistName"), QStringLiteral("Artist")},
                   {QStringLiteral("eventId"), eventId}})
        .toObject()[QStringLiteral("id")]
        .toInteger();
}

QStringList ServiceHarness::calls()
{
    return callsIn(service->log());
}

void ServiceHarness::clearCalls()
{
    service->control("DELETE", QStringLiteral("/control/log"));
}
