#include "ui/TrayController.h"

#include "AppState.h"
#include "DisplayText.h"
#include "Logging.h"
#include "Texts.h"
#include "ui/MenuPanelView.h"
#include "ui/TrayToolTip.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>

#include <algorithm>

namespace {

// How long to wait for a tray before falling back to a window, and how often to look.
constexpr int trayCheckIntervalMs = 1000;
constexpr int trayChecksBeforeFallback = 3;
// A click on the icon while the panel is open may first close the panel (the
// app loses activation to the tray); the same click must not open it again.
constexpr qint64 reopenGuardMs = 300;

QScreen *screenFor(QPoint point)
{
    QScreen *screen = QGuiApplication::screenAt(point);
    return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

QRect panelGeometry(QSize panel, QRect iconGeometry, QPoint cursor, QRect available, int margin)
{
    const bool haveIcon = iconGeometry.isValid() && !iconGeometry.isEmpty();
    const QRect anchor = haveIcon ? iconGeometry : QRect(cursor, QSize(1, 1));
    const QRect area = available.adjusted(margin, margin, -margin, -margin);

    int x = anchor.center().x() - panel.width() / 2;
    // A tray at the top drops the panel down; one at the bottom raises it up.
    int y = anchor.center().y() < available.center().y() ? anchor.bottom() + 1 + margin
                                                          : anchor.top() - margin - panel.height();
    x = std::max(area.left(), std::min(x, area.right() + 1 - panel.width()));
    y = std::max(area.top(), std::min(y, area.bottom() + 1 - panel.height()));
    return {QPoint(x, y), panel};
}

TrayController::TrayController(AppState &state, QSystemTrayIcon &trayIcon, StatusBarIcon::Tray tray,
                               QObject *parent)
    : QObject(parent), m_state(state), m_tray(tray), m_trayIcon(trayIcon)
{
    m_menu.setObjectName(QStringLiteral("trayMenu"));
    QAction *open = m_menu.addAction(Texts::openApp());
    open->setObjectName(QStringLiteral("openAction"));
    connect(open, &QAction::triggered, this, &TrayController::openPanel);
    QAction *quit = m_menu.addAction(Texts::quit());
    quit->setObjectName(QStringLiteral("quitAction"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
    // Never handed to the tray icon: a status-notifier item that exports a menu
    // opens that menu on a left click on some desktops (GNOME's AppIndicator
    // extension), and the panel only on a double click. The right click shows it
    // where the app can pop a menu up at the pointer (X11); the panel has Quit.

    connect(&m_trayIcon, &QSystemTrayIcon::activated, this, &TrayController::activated);
    connect(&state, &AppState::authStateChanged, this, &TrayController::updateIcon);
    connect(&state, &AppState::totalPendingChanged, this, &TrayController::updateIcon);
    connect(&state, &AppState::lastUpdatedChanged, this, &TrayController::updateIcon);
    connect(&state, &AppState::errorMessageChanged, this, &TrayController::updateIcon);
    connect(&state, &AppState::panelRequested, this, &TrayController::openPanel);
    updateIcon();
    m_trayIcon.show();

    m_trayWatch.setInterval(trayCheckIntervalMs);
    connect(&m_trayWatch, &QTimer::timeout, this, &TrayController::watchForTray);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        m_trayWatch.start();
}

TrayController::~TrayController() = default;

// Built on the first opening and kept: closing hides it. A new window for
// each opening costs a round of window-system requests and a fresh surface
// that some desktops are slow to give the focus.
MenuPanelView &TrayController::panel()
{
    if (m_panel)
        return *m_panel;
    m_panel = std::make_unique<MenuPanelView>(m_state);
    connect(m_panel.get(), &MenuPanelView::closed, this, &TrayController::panelClosed);
    connect(m_panel.get(), &MenuPanelView::resized, this, [this] {
        // Placed again from where it opened, never from where it is now (nor from
        // the pointer, which may have moved on): it grows and shrinks in place,
        // staying on the screen.
        if (m_panel->isVisible() && !m_panel->isWindowMode()) {
            placePanel();
            // sway centres a floating X11 window again whenever it resizes.
            if (m_desktopPlacement)
                m_desktopPlacement(*m_panel);
        }
    });
    return *m_panel;
}

void TrayController::placePanel()
{
    m_panel->move(panelGeometry(m_panel->size(), m_anchor.icon, m_anchor.cursor, m_anchor.available).topLeft());
}

void TrayController::updateIcon()
{
    // The error text on its second line comes from the service.
    const QString toolTip = DisplayText::toolTip(TrayToolTip::text(m_state), DisplayText::Wrap::keepLines);
    if (toolTip != m_trayIcon.toolTip())
        m_trayIcon.setToolTip(toolTip);
    const std::optional<qint64> count = StatusBarIcon::pendingCount(m_state);
    const StatusBarIcon::Look look = StatusBarIcon::look(m_state);
    if (m_iconSet && m_shownCount == count && m_shownLook == look)
        return;
    qCDebug(lcUi) << "tray icon:" << int(look) << "look, badge" << count.value_or(0);
    m_iconSet = true;
    m_shownCount = count;
    m_shownLook = look;
    m_trayIcon.setIcon(StatusBarIcon::icon(count, m_tray, look));
}

void TrayController::activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (m_panel && m_panel->isVisible())
            m_panel->close();
        else if (!m_sinceClosed.isValid() || m_sinceClosed.elapsed() > reopenGuardMs)
            openPanel();
        // Once the click's call has been answered: the tray's item is the one
        // answering it.
        if (m_reofferIconAfterClick)
            QTimer::singleShot(0, this, [this] {
                m_trayIcon.hide();
                m_trayIcon.show();
            });
        break;
    case QSystemTrayIcon::DoubleClick:
        openPanel();
        break;
    case QSystemTrayIcon::Context:
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            m_menu.popup(QCursor::pos());
        else
            openPanel();
        break;
    default:
        break;
    }
}

void TrayController::openPanel()
{
    qCDebug(lcUi) << "opening the panel";
    MenuPanelView &view = panel();
    if (view.isWindowMode()) {
        view.show();
        view.raise();
        view.activateWindow();
        return;
    }
    // Asked again while open (a notification's click), it stays where it is.
    const bool opening = !view.isVisible();
    if (opening) {
        const QRect icon = m_trayIcon.geometry();
        const QPoint cursor = QCursor::pos();
        const QPoint anchor = icon.isValid() && !icon.isEmpty() ? icon.center() : cursor;
        m_anchor = {icon, cursor, screenFor(anchor)->availableGeometry()};
        placePanel();
    }
    view.show();
    view.raise();
    view.activateWindow();
    if (opening && m_desktopPlacement)
        m_desktopPlacement(view);
}

void TrayController::panelClosed()
{
    if (m_panel->closedOnDeactivation())
        m_sinceClosed.start();
    else
        m_sinceClosed.invalidate();
    if (m_panel->isWindowMode())
        QCoreApplication::quit();
}

void TrayController::watchForTray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        // A tray that appears late takes the icon (Qt embeds it by itself); an
        // open window turns back into the panel by the icon, and closing no longer quits.
        m_trayWatch.stop();
        qCDebug(lcUi) << "a system tray appeared";
        if (m_panel && m_panel->isWindowMode()) {
            const bool wasOpen = m_panel->isVisible();
            m_panel->setWindowMode(false);
            if (wasOpen) {
                // Opened afresh, so that it is placed by the icon.
                m_panel->hide();
                openPanel();
            }
        }
        return;
    }
    if (++m_trayChecks == trayChecksBeforeFallback) {
        qCWarning(lcUi) << "no system tray: the panel becomes a window";
        MenuPanelView &view = panel();
        view.setWindowMode(true);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            view.move(screen->availableGeometry().center() - view.rect().center());
        view.show();
    }
}
