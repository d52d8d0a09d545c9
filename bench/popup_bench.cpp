// A tray click on a pop-up, in a process of its own so that each pays its own
// cold start: the app's panel as the tray shows it (signed in, two events, two
// pending requests; built on the first click and kept), or a bare Qt pop-up
// with comparable content, built on the first click too or at start-up and
// kept hidden ("bare-kept"; "app-kept" builds the app's panel ahead likewise).
// Prints the time from the click to the first paint of the first show (cold)
// and the median of later shows (warm), what building ahead added to the
// process's proportional set size, and what the first show added once hidden
// again.
//
//   cuelark-popup-bench app|app-kept|bare|bare-kept

#include "AppState.h"
#include "support/AppStateTester.h"
#include "support/TestSupport.h"
#include "ui/MenuPanelView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// The kilobytes of one line of /proc/self/smaps_rollup.
long smapsKb(const char *key)
{
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    return -1;
}

// What the bare pop-up shows: a header, three counters, two requests with two
// buttons each, and a footer, in a frameless tool window of the panel's width.
std::unique_ptr<QWidget> barePopup()
{
    auto popup = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    popup->setFixedWidth(MenuPanelView::panelWidth);
    auto *column = new QVBoxLayout(popup.get());
    column->addWidget(new QLabel(QStringLiteral("Saturday Night")));
    auto *counters = new QHBoxLayout;
    for (const char *counter : {"2 pending", "0 approved", "0 played"})
        counters->addWidget(new QLabel(QString::fromLatin1(counter)));
    column->addLayout(counters);
    for (int i = 1; i <= 2; ++i) {
        auto *row = new QHBoxLayout;
        row->addWidget(new QLabel(QStringLiteral("Song %1\nArtist").arg(i)), 1);
        row->addWidget(new QPushButton(QStringLiteral("Approve")));
        row->addWidget(new QPushButton(QStringLiteral("Reject")));
        column->addLayout(row);
    }
    auto *footer = new QHBoxLayout;
    for (const char *button : {"Refresh", "Sign out", "Quit"})
        footer->addWidget(new QPushButton(QString::fromLatin1(button)));
    column->addLayout(footer);
    return popup;
}

// Counts the paints of one top-level window.
struct PaintWatch : QObject {
    std::unique_ptr<QWidget> built;
    QWidget *window = nullptr;
    int paints = 0;
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && object == window)
            ++paints;
        return false;
    }
    // Shows the window (built by `build` first when there is none yet) as a
    // click on the tray icon does; milliseconds to its first paint.
    double show(const std::function<std::unique_ptr<QWidget>()> &build)
    {
        QElapsedTimer since;
        since.start();
        if (!window) {
            built = build();
            std::fprintf(stderr, "built in %.1f ms\n", double(since.nsecsElapsed()) / 1e6);
            window = built.get();
        }
        const int before = paints;
        window->move(100, 100);
        window->show();
        while (paints == before && since.elapsed() < 5000)
            QCoreApplication::processEvents();
        return double(since.nsecsElapsed()) / 1e6;
    }
    void hide()
    {
        window->hide();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString mode = app.arguments().value(1);

    FakeDesktop desktop;
    AppState state(desktop.platform(1000));
    AppStateTester::setAuthState(state, AppState::AuthState::signedIn);
    AppStateTester::setEvents(state, {DJEvent{7, QStringLiteral("Saturday Night"), true,
                                              QStringLiteral("2026-03-07T18:00:00Z"), {}},
                                      DJEvent{8, QStringLiteral("Sunday Brunch"), false,
                                              QStringLiteral("2026-03-08T10:00:00Z"), {}}});
    AppStateTester::setSelectedEventId(state, 7);
    AppStateTester::setRequests(state, {SongRequest{1, QStringLiteral("pending"), QStringLiteral("Song 1"),
                                                    QStringLiteral("Artist"), QStringLiteral("2026-03-07T20:00:00Z")},
                                        SongRequest{2, QStringLiteral("pending"), QStringLiteral("Song 2"),
                                                    QStringLiteral("Artist"), QStringLiteral("2026-03-07T20:01:00Z")}});
    AppStateTester::setTotalPending(state, 2);
    const std::function<std::unique_ptr<QWidget>()> build = mode.startsWith(QLatin1String("app"))
        ? std::function([&]() -> std::unique_ptr<QWidget> { return std::make_unique<MenuPanelView>(state); })
        : std::function(barePopup);

    PaintWatch watch;
    app.installEventFilter(&watch);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const long pssStart = smapsKb("Pss:");
    if (mode == QLatin1String("bare-kept")) {
        watch.built = barePopup();
        watch.window = watch.built.get();
    }
    if (mode == QLatin1String("app-kept")) {
        watch.built = std::make_unique<MenuPanelView>(state);
        watch.window = watch.built.get();
    }
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    std::printf("popup_build_pss_kb %ld\n", smapsKb("Pss:") - pssStart);

    const long pssBefore = smapsKb("Pss:"), anonBefore = smapsKb("Pss_Anon:");
    const double cold = watch.show(build);
    watch.hide();
    const long pssGrowth = smapsKb("Pss:") - pssBefore, anonGrowth = smapsKb("Pss_Anon:") - anonBefore;
    std::vector<double> warm;
    for (int i = 0; i < 20; ++i) {
        warm.push_back(watch.show(build));
        watch.hide();
    }
    std::sort(warm.begin(), warm.end());
    std::printf("popup_cold_ms %.3f\npopup_warm_ms %.3f\npopup_pss_growth_kb %ld\npopup_anon_growth_kb %ld\n", cold,
                warm[warm.size() / 2], pssGrowth, anonGrowth);
    return 0;
}
