#include "AppConfig.h"
#include "AppState.h"
#include "app/DesktopServices.h"
#include "ui/Accessibility.h"
#include "ui/StatusBarIcon.h"
#include "ui/Theme.h"
#include "ui/Translations.h"
#include "ui/TrayController.h"

#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cuelark"));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(AppConfig::appId));
    Translations::install();
    // The program lives in the tray; closing the panel must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // The desktop's own palette, read before the dark theme replaces it, tells
    // which tray icon contrasts with the panel it sits on.
    const bool darkDesktop = app.palette().color(QPalette::Window).lightness() < 128;
    Theme::applyDarkAppearance(app);
    Accessibility::install();

    QSystemTrayIcon trayIcon;
    DesktopServices services(&trayIcon);
    AppState state(services.platform());
    TrayController tray(state, trayIcon, darkDesktop ? StatusBarIcon::Tray::dark : StatusBarIcon::Tray::light);
    return app.exec();
}
