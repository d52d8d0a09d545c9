// Prints how long the hot paths of a refresh take: decoding a page of requests,
// the event picker's labels, and whole refresh cycles against the stand-in
// service on loopback.
//
//   build/bench/cuelark-bench

#include "AppState.h"
#include "api/Models.h"
#include "support/StandIn.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

QByteArray requestsPage(int count)
{
    QJsonArray requests;
    for (int i = 0; i < count; ++i) {
        requests.append(QJsonObject{{QStringLiteral("id"), 9007199254740993LL + i},
                                    {QStringLiteral("status"), i % 3 ? QStringLiteral("pending") : QStringLiteral("played")},
                                    {QStringLiteral("songTitle"), QStringLiteral("Song title number %1").arg(i)},
                                    {QStringLiteral("artistName"), QStringLiteral("Some Artist & Friends")},
                                    {QStringLiteral("createdAt"), QStringLiteral("2026-03-07T20:00:00.250Z")}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("requests"), requests}, {QStringLiteral("totalPending"), count}})
        .toJson(QJsonDocument::Compact);
}

template<typename Work>
double microsecondsPerRun(int runs, Work work)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i)
        work();
    return double(timer.nsecsElapsed()) / 1000.0 / runs;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    const QByteArray page = requestsPage(25);
    std::printf("decode a page of 25 requests (%lld bytes): %.1f us\n", qlonglong(page.size()),
                microsecondsPerRun(20000, [&] { (void)Models::decodeRequests(page); }));

    const DJEvent event{42, QStringLiteral("Friday Night Set"), false, QStringLiteral("2026-03-07T20:00:00Z"),
                        QStringLiteral("2026-03-08T02:00:00Z")};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::printf("event picker label: %.2f us\n",
                microsecondsPerRun(100000, [&] { (void)event.pickerLabel(now); }));

    StandIn service;
    FakeDesktop desktop;
    desktop.storedToken = service.issueToken();
    // Polling pauses for hours here: only the cycles run below are measured.
    AppState state(desktop.platform(1000), service.url());
    waitUntil([&] { return state.lastUpdated().has_value(); });
    constexpr int cycles = 300;
    const double perCycle = microsecondsPerRun(cycles, [&] { awaitTask(state.refresh()); });
    std::printf("refresh cycle against the local stand-in (events + 10 requests): %.2f ms\n", perCycle / 1000.0);
    return 0;
}
