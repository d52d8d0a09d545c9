#include "AppConfig.h"
#include "AppState.h"
#include "AppVersion.h"
#include "app/CommandLine.h"
#include "app/DesktopServices.h"
#include "desktop/QuitOnSignals.h"
#include "desktop/SingleInstance.h"
#include "desktop/Sway.h"
#include "desktop/TrayHints.h"
#include "ui/Accessibility.h"
#include "ui/StatusBarIcon.h"
#include "ui/Theme.h"
#include "ui/Translations.h"
#include "ui/TrayController.h"

#include <QApplication>
#include <QSystemTrayIcon>


int main(int argc, char *argv[])
{
    // A log attached to a bug report is read beside the user's account of what
    // happened, so each line says when (QT_MESSAGE_PATTERN still overrides it).
    qSetMessagePattern(QStringLiteral(
        "%{time yyyy-MM-dd HH:mm:ss.zzz} %{if-category}%{category} %{endif}%{type}: %{message}"));
    QCoreApplication::setApplicationName(QStringLiteral("Cuelark"));
    QCoreApplication::setApplicationVersion(AppVersion::shortVersion());
    SingleInstance instance;
    CommandLine commandLine;
    // Most starts are the first, with nothing on the command line: the lock
    // alone tells, and the reader below is not built.
    if (argc > 1 || !instance.takeLock()) {
        // The command line and a hand-over to the running app need no
        // display: read them before the QApplication connects to one.
        QCoreApplication reader(argc, argv);
        Translations::install();
        commandLine = CommandLine::read(reader);
        switch (argc > 1 ? instance.claim() : instance.handOver()) {
        case SingleInstance::Claim::handedOver:
            return 0;
        case SingleInstance::Claim::noAnswer:
            CommandLine::reportUnansweredHandOver();
            return 1;
        case SingleInstance::Claim::first:
        case SingleInstance::Claim::unavailable:
            break;
        }
    }
    // A launcher's token for passing the focus on is good for a few seconds:
    // kept, it would be spent on the first opening of the panel long after,
    // and the compositor would refuse that opening the focus.
    if (!commandLine.openPanel)
        qunsetenv("XDG_ACTIVATION_TOKEN");

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromUtf8(AppConfig::appId));
    Translations::install();
    // The program lives in the tray; closing the panel must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    const QuitOnSignals quitOnSignals;

    // The tray's own hints, not the app's palette: the bar is drawn by the
    // desktop's shell, often dark under a light application theme.
    const StatusBarIcon::Tray trayBar =
        StatusBarIcon::trayFor(TrayHints::trayForeground(), qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    Theme::applyDarkAppearance(app);
    Accessibility::install();

    QSystemTrayIcon trayIcon;
    DesktopServices services(&trayIcon);
    int status = 0;
    {
        AppState state(services.platform());
        TrayController tray(state, trayIcon, trayBar);
        tray.setReofferIconAfterClick(
            qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':').contains(u"GNOME", Qt::CaseInsensitive));
        std::optional<Sway> sway;
        if (const std::optional<QString> socket = Sway::socketPath()) {
            sway.emplace(*socket);
            tray.setDesktopPlacement([&sway](QWidget &panel) { sway->moveNextToBar(panel.windowTitle(), panel.size()); });
        }
        QObject::connect(&instance, &SingleInstance::panelRequested, &tray, &TrayController::openPanel);
        instance.listen();
        if (commandLine.openPanel)
            tray.openPanel();
        status = app.exec();
    }
    // The flows the state cancelled on its way out resume from queued events:
    // deliver them, so that each ends and frees itself before the application goes.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
