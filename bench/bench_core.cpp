// Prints how long the hot paths take: decoding a page of requests (beside the
// JSON library's own parse of the same bytes), the event picker's labels, whole
// refresh cycles' CPU against the stand-in service on loopback (beside the
// same round trips on a bare QNetworkAccessManager, each body parsed by Qt's
// reader), the TCP connections (and so TLS
// handshakes) a session of 100 cycles opens, over HTTP and HTTPS, and the
// panel: from a click to the first paint of a dashboard with 8 rows, and one
// refresh's repaint. Then the same at 10 to 40,000 events: the CPU of a refresh
// cycle beside the bare round trips fetching the same bytes, and the panel
// opened on that many events and refreshed while open.
//
//   build/bench/cuelark-bench                      (any Qt platform; offscreen works)
//
// Each line is "key value unit  what": bench/run.sh reads them by key.

#include "AppState.h"
#include "api/Models.h"
#include "support/AppStateTester.h"
#include "support/ServiceHarness.h"
#include "support/StandIn.h"
#include "support/TestSupport.h"
#include "ui/DashboardView.h"
#include "ui/MenuPanelView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSet>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

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

// An events answer of `count` events: the service's own first (so that the
// requests call still finds its event), then made-up ones, the last named by
// `variant` so that two variants differ in a few bytes only.
QByteArray eventsPage(const QJsonObject &first, int count, int variant)
{
    QJsonArray events{first};
    for (int i = 1; i < count; ++i)
        events.append(QJsonObject{{QStringLiteral("id"), 100000 + i},
                                  {QStringLiteral("name"), i == count - 1 ? QStringLiteral("Closing set %1").arg(variant)
                                                                          : QStringLiteral("Warm-up set number %1").arg(i)},
                                  {QStringLiteral("isActive"), false},
                                  {QStringLiteral("startDate"), QStringLiteral("2026-03-07T20:00:00.000Z")},
                                  {QStringLiteral("endDate"), QStringLiteral("2026-03-08T02:00:00.000Z")}});
    return QJsonDocument(QJsonObject{{QStringLiteral("events"), events}}).toJson(QJsonDocument::Compact);
}

// CPU time of the whole process (the network thread included), in microseconds.
double processCpuMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

template<typename Work>
double cpuMicrosecondsOf(Work work)
{
    const double before = processCpuMicroseconds();
    work();
    return processCpuMicroseconds() - before;
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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void print(const char *key, double value, const char *unit, const char *what)
{
    std::printf("%-18s %10.3f %-3s %s\n", key, value, unit, what);
}

// The calls of one cycle, one after another, each body read whole and parsed
// with Qt's own JSON reader, as the bare tray app does: the least a program
// that shows what the service answers must do with the bytes.
void bareRoundTrips(QNetworkAccessManager &network, const QUrl &service, const QString &token, qint64 eventId)
{
    for (const QString &path : {QStringLiteral("/api/glasses/me"), QStringLiteral("/api/glasses/events"),
                                QStringLiteral("/api/glasses/requests?eventId=%1&limit=25").arg(eventId)}) {
        QNetworkRequest request(service.resolved(QUrl(path)));
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
        QNetworkReply *reply = network.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        (void)QJsonDocument::fromJson(reply->readAll());
        delete reply;
    }
}

// Counts paint events of one widget (by object name) anywhere in the application.
struct PaintWatch : QObject {
    QString name;
    int paints = 0;
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && object->objectName() == name)
            ++paints;
        return false;
    }
    // Runs the event loop until one more paint has been handled; milliseconds taken.
    double waitForPaint(const QElapsedTimer &since)
    {
        const int before = paints;
        while (paints == before && since.elapsed() < 5000)
            QCoreApplication::processEvents();
        return double(since.nsecsElapsed()) / 1e6;
    }
    // Builds and shows the panel as a click on the tray icon does; adds the
    // milliseconds to the dashboard's first paint to `opens`.
    std::unique_ptr<MenuPanelView> openPanel(AppState &state, std::vector<double> &opens)
    {
        QElapsedTimer timer;
        timer.start();
        auto panel = std::make_unique<MenuPanelView>(state);
        panel->move(100, 100);
        panel->show();
        opens.push_back(waitForPaint(timer));
        return panel;
    }
};

// A fresh session of 100 refresh cycles (the update check after the first one
// included): how many TCP connections the service saw.
int connectionsOfSession(const QStringList &standInArgs)
{
    ServiceHarness h(standInArgs);
    // Returns once the update check after the first cycle is answered: ten
    // seconds apart, cycles never overlap it.
    AppState &state = h.startSignedIn();
    for (int i = 0; i < 100; ++i)
        refreshed(state);
    QSet<int> connections;
    for (const QJsonValue &call : h.service->log())
        connections.insert(call[QLatin1String("connection")].toInt());
    return int(connections.size());
}

// The same over HTTPS, with a certificate made for the run and trusted by this
// process alone: each connection is one TLS handshake.
int connectionsOfHttpsSession()
{
    const QTemporaryDir dir;
    const QString cert = dir.filePath(QStringLiteral("cert.pem")), key = dir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), key,
                   QStringLiteral("-out"), cert});
    if (!openssl.waitForFinished() || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
        return -1;
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.addCaCertificates(cert);
    QSslConfiguration::setDefaultConfiguration(trusting);
    return connectionsOfSession({QStringLiteral("--cert"), cert, QStringLiteral("--key"), key});
}

// Refresh cycles with `count` events, the events answer injected into the
// stand-in: the CPU of a cycle whose answers are the same as the last one's, of
// a cycle whose events answer changed, and of the bare round trips of the same
// bytes (medians). Then the panel on that many events: click to first paint, and
// the CPU a refresh costs with the panel open beyond the same refresh closed.
void eventsAtScale(StandIn &service, AppState &state, const QString &token, PaintWatch &dashboard)
{
    QNetworkAccessManager network;
    const qint64 eventId = *state.selectedEventId();
    const QJsonObject first = state.events().isEmpty()
        ? QJsonObject{}
        : QJsonObject{{QStringLiteral("id"), eventId}, {QStringLiteral("name"), state.events().first().name},
                      {QStringLiteral("isActive"), state.events().first().isActive},
                      {QStringLiteral("startDate"), state.events().first().startDate}};
    const auto cycle = [&] {
        AppStateTester::setUserName(state, std::nullopt);
        refreshed(state);
    };
    const QString eventsPath = QStringLiteral("/api/glasses/events");
    for (const int count : {10, 1000, 10000, 40000}) {
        const QByteArray pages[2] = {eventsPage(first, count, 0), eventsPage(first, count, 1)};
        const int turns = count >= 10000 ? 15 : 60;
        std::vector<double> steady, changed, bare;
        const auto answerWith = [&](const QByteArray &page) {
            service.control("DELETE", QStringLiteral("/control/inject"));
            service.answerNext(200, page, 1000000, eventsPath);
        };
        answerWith(pages[0]);
        cycle();
        for (int turn = 0; turn < turns; ++turn) {
            steady.push_back(cpuMicrosecondsOf(cycle));
            bare.push_back(cpuMicrosecondsOf([&] { bareRoundTrips(network, service.url(), token, eventId); }));
        }
        for (int turn = 0; turn < turns; ++turn) {
            answerWith(pages[turn % 2]);
            changed.push_back(cpuMicrosecondsOf(cycle));
        }
        const QByteArray key = QByteArray::number(count);
        std::printf("events_%-11s %10.3f ms  CPU of a cycle with %d events, answers unchanged\n",
                    (key + "_cycle").constData(), median(steady) / 1000, count);
        std::printf("events_%-11s %10.3f ms  the same, the events answer changed each cycle\n",
                    (key + "_change").constData(), median(changed) / 1000);
        std::printf("events_%-11s %10.3f ms  CPU of the bare round trips of the same bytes, parsed\n",
                    (key + "_bare").constData(), median(bare) / 1000);

        if (count < 1000)
            continue;
        std::vector<double> opens, openRefreshes, closedRefreshes;
        qApp->installEventFilter(&dashboard);
        for (int i = 0; i < 5; ++i) {
            closedRefreshes.push_back(cpuMicrosecondsOf(cycle));
            auto panel = dashboard.openPanel(state, opens);
            openRefreshes.push_back(cpuMicrosecondsOf([&] {
                cycle();
                QCoreApplication::processEvents();
                QCoreApplication::processEvents();
            }));
            panel.reset();
            QCoreApplication::processEvents();
        }
        qApp->removeEventFilter(&dashboard);
        std::printf("events_%-11s %10.3f ms  click to the first paint of the panel with %d events\n",
                    (key + "_open").constData(), median(opens), count);
        std::printf("events_%-11s %10.3f ms  CPU of a refresh with the panel open beyond one with it closed\n",
                    (key + "_panel").constData(), std::max(0.0, median(openRefreshes) - median(closedRefreshes)) / 1000);
    }
    service.control("DELETE", QStringLiteral("/control/inject"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    const QByteArray page = requestsPage(25);
    print("decode_us", microsecondsPerRun(20000, [&] { (void)Models::decodeRequests(page); }), "us",
          "decode a page of 25 requests into records");
    print("json_parse_us", microsecondsPerRun(20000, [&] { const auto parsed = nlohmann::json::parse(page.begin(), page.end()); Q_UNUSED(parsed); }),
          "us", "nlohmann::json::parse of the same bytes");
    print("qt_json_parse_us", microsecondsPerRun(20000, [&] { (void)QJsonDocument::fromJson(page); }), "us",
          "QJsonDocument::fromJson of the same bytes");

    const DJEvent event{42, QStringLiteral("Friday Night Set"), false, QStringLiteral("2026-03-07T20:00:00Z"),
                        QStringLiteral("2026-03-08T02:00:00Z")};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    print("picker_label_us", microsecondsPerRun(100000, [&] { (void)DashboardView::pickerLabel(event, now); }), "us",
          "an event picker label");

    StandIn service;
    FakeDesktop desktop;
    const QString token = service.issueToken();
    desktop.storedToken = token;
    // Polling pauses for hours here: only the cycles run below are measured.
    AppState state(desktop.platform(1000), service.url());
    waitUntil([&] { return state.lastUpdated().has_value(); });
    const qint64 eventId = *state.selectedEventId();
    for (int i = state.requests().size(); i < 25; ++i)
        service.control("POST", QStringLiteral("/control/requests"),
                        {{QStringLiteral("songTitle"), QStringLiteral("Song %1").arg(i)},
                         {QStringLiteral("artistName"), QStringLiteral("Artist")},
                         {QStringLiteral("eventId"), eventId}});

    // One of each in turn, so that a noisy moment weighs on both sides alike;
    // the median of single runs leaves out the moments the scheduler took.
    QNetworkAccessManager network;
    std::vector<double> cycles, bare;
    for (int turn = 0; turn < 300; ++turn) {
        // CPU time: the test helpers wait for the cycle's end by polling.
        cycles.push_back(cpuMicrosecondsOf([&] {
            AppStateTester::setUserName(state, std::nullopt); // the profile is fetched again
            refreshed(state);
        }));
        bare.push_back(cpuMicrosecondsOf([&] { bareRoundTrips(network, service.url(), token, eventId); }));
    }
    print("cycle_ms", median(cycles) / 1000, "ms",
          "CPU of a refresh cycle through AppState (profile, events, 25 requests, publish, notifications)");
    print("bare_ms", median(bare) / 1000, "ms",
          "CPU of the same three GETs on a bare QNetworkAccessManager, each body parsed");
    print("connections_http", connectionsOfSession({}), "", "TCP connections of a session of 100 cycles");
    print("connections_https", connectionsOfHttpsSession(), "",
          "TCP connections (TLS handshakes) of the same over HTTPS (-1: no certificate could be made)");

    // The panel as a click on the tray icon builds and shows it, with 8 rows.
    PaintWatch dashboard;
    dashboard.name = QStringLiteral("dashboardView");
    app.installEventFilter(&dashboard);
    std::vector<double> opens, repaints;
    for (int i = 0; i < 15; ++i) {
        auto panel = dashboard.openPanel(state, opens);

        service.control("POST", QStringLiteral("/control/requests"),
                        {{QStringLiteral("songTitle"), QStringLiteral("New %1").arg(i)},
                         {QStringLiteral("artistName"), QStringLiteral("Artist")},
                         {QStringLiteral("eventId"), eventId}});
        refreshed(state);
        QElapsedTimer timer;
        timer.start();
        repaints.push_back(dashboard.waitForPaint(timer));
        panel.reset();
        QCoreApplication::processEvents();
    }
    print("panel_open_ms", median(opens), "ms", "click to the first paint of the dashboard (8 rows)");
    print("panel_repaint_ms", median(repaints), "ms", "a refresh with a new request to its repaint");
    app.removeEventFilter(&dashboard);

    eventsAtScale(service, state, token, dashboard);
    return 0;
}
