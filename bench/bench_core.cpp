// Prints how long the hot paths take: decoding a page of requests (beside the
// JSON library's own parse of the same bytes), the event picker's labels, whole
// refresh cycles against the stand-in service on loopback (beside the same
// round trips on a bare QNetworkAccessManager), the TCP connections (and so TLS
// handshakes) a session of 100 cycles opens, over HTTP and HTTPS, and the
// panel: from a click to the first paint of a dashboard with 8 rows, and one
// refresh's repaint.
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

// The calls of one cycle, one after another, each body read whole.
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
        (void)reply->readAll();
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    const QByteArray page = requestsPage(25);
    print("decode_us", microsecondsPerRun(20000, [&] { (void)Models::decodeRequests(page); }), "us",
          "decode a page of 25 requests into records");
    print("json_parse_us", microsecondsPerRun(20000, [&] { const auto parsed = nlohmann::json::parse(page.begin(), page.end()); Q_UNUSED(parsed); }),
          "us", "nlohmann::json::parse of the same bytes");

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
        cycles.push_back(microsecondsPerRun(1, [&] {
            AppStateTester::setUserName(state, std::nullopt); // the profile is fetched again
            refreshed(state);
        }));
        bare.push_back(microsecondsPerRun(1, [&] { bareRoundTrips(network, service.url(), token, eventId); }));
    }
    print("cycle_ms", median(cycles) / 1000, "ms",
          "a refresh cycle through AppState (profile, events, 25 requests, publish, notifications)");
    print("bare_ms", median(bare) / 1000, "ms", "the same three GETs on a bare QNetworkAccessManager");
    print("connections_http", connectionsOfSession({}), "", "TCP connections of a session of 100 cycles");
    print("connections_https", connectionsOfHttpsSession(), "",
          "TCP connections (TLS handshakes) of the same over HTTPS (-1: no certificate could be made)");

    // The panel as a click on the tray icon builds and shows it, with 8 rows.
    PaintWatch dashboard;
    dashboard.name = QStringLiteral("dashboardView");
    app.installEventFilter(&dashboard);
    std::vector<double> opens, repaints;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer timer;
        timer.start();
        auto panel = std::make_unique<MenuPanelView>(state);
        panel->move(100, 100);
        panel->show();
        opens.push_back(dashboard.waitForPaint(timer));

        service.control("POST", QStringLiteral("/control/requests"),
                        {{QStringLiteral("songTitle"), QStringLiteral("New %1").arg(i)},
                         {QStringLiteral("artistName"), QStringLiteral("Artist")},
                         {QStringLiteral("eventId"), eventId}});
        refreshed(state);
        timer.start();
        repaints.push_back(dashboard.waitForPaint(timer));
        panel.reset();
        QCoreApplication::processEvents();
    }
    print("panel_open_ms", median(opens), "ms", "click to the first paint of the dashboard (8 rows)");
    print("panel_repaint_ms", median(repaints), "ms", "a refresh with a new request to its repaint");
    return 0;
}
