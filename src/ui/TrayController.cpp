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
    m_trayIcon.setContextMenu(&m_menu);

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

// The panel exists only while it is open, so a closed panel costs no memory and
// no work on the ten-second refreshes.
MenuPanelView &TrayController::panel()
{
    if (m_panel)
        return *m_panel;
    m_panel = std::make_unique<MenuPanelView>(m_state);
    connect(m_panel.get(), &MenuPanelView::closed, this, &TrayController::panelClosed);
    connect(m_panel.get(), &MenuPanelView::resized, this, [this] {
        // Growing content must not push the panel off the screen.
        if (m_panel->isVisible() && !m_panel->isWindowMode())
            m_panel->move(panelGeometry(m_panel->size(), m_trayIcon.geometry(), m_panel->geometry().center(),
                                        screenFor(m_panel->geometry().center())->availableGeometry())
                              .topLeft());
    });
    return *m_panel;
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
        break;
    case QSystemTrayIcon::DoubleClick:
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
    const QRect icon = m_trayIcon.geometry();
    const QPoint cursor = QCursor::pos();
    const QPoint anchor = icon.isValid() && !icon.isEmpty() ? icon.center() : cursor;
    view.move(panelGeometry(view.size(), icon, cursor, screenFor(anchor)->availableGeometry()).topLeft());
    view.show();
    view.activateWindow();
}

void TrayController::panelClosed()
{
    if (m_panel->closedOnDeactivation())
        m_sinceClosed.start();
    else
        m_sinceClosed.invalidate();
    if (m_panel->isWindowMode()) {
        QCoreApplication::quit();
        return;
    }
    // Called from the panel's own close handling: delete it once that is over.
    m_panel.release()->deleteLater();
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
            if (wasOpen)
                openPanel();
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
