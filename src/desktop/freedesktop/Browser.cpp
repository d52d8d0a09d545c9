#include "desktop/Browser.h"

#include "Logging.h"

#include <QProcess>
#include <QTimer>
#include <QUrl>

namespace {

// xdg-open ends at once when it cannot open the page; with a browser it may
// stay until the browser ends. A page it has not refused by then counts as open.
constexpr int refusalWindowMs = 10'000;

} // namespace

namespace Browser {

void open(const QUrl &url, std::function<void()> unopened)
{
    auto *opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({url.toString(QUrl::FullyEncoded)});
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    const auto report = [opener, unopened](const char *why) {
        qCWarning(lcDesktop) << "the browser did not open the page:" << why;
        opener->disconnect();
        unopened();
    };
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            report("xdg-open could not be started");
            opener->deleteLater();
        }
    });
    QObject::connect(opener, &QProcess::finished, opener, [opener, report](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            report("xdg-open failed");
        opener->deleteLater();
    });
    // Past the window the opener runs on by itself; it is not waited for.
    QTimer::singleShot(refusalWindowMs, opener, [opener] {
        opener->disconnect();
        QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
    });
    opener->start();
}

} // namespace Browser
