#pragma once

#include "ui/StatusBarIcon.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QObject>
#include <QRect>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class AppState;
class MenuPanelView;

// Where the panel goes: under (or above, near the bottom) the tray icon when its
// geometry is known, else at the cursor; always inside the available area, `margin`
// pixels from its edges.
QRect panelGeometry(QSize panel, QRect iconGeometry, QPoint cursor, QRect available, int margin = 6);

// What the panel was placed from when it opened: the icon's geometry (when the
// tray tells it) or the pointer, and the screen's available area there. Kept
// while the panel is open, so that it grows and shrinks in place.
struct PanelAnchor {
    QRect icon;
    QPoint cursor;
    QRect available;
};

// The tray icon and its panel. The icon and its tooltip follow the state; a click
// on the icon, or on a request's notification, opens the panel. Without a tray the panel becomes a small window whose closing quits.
class TrayController : public QObject {
    Q_OBJECT
public:
    // `trayIcon` is shared with the desktop services, which may show
    // notifications through it.
    TrayController(AppState &state, QSystemTrayIcon &trayIcon, StatusBarIcon::Tray tray,
                   QObject *parent = nullptr);
    ~TrayController() override;

    QSystemTrayIcon &trayIcon() { return m_trayIcon; }
    void openPanel();

    // Where the desktop places windows itself, ignoring where the app puts them
    // (sway), this asks it to move the panel when it has opened.
    using DesktopPlacement = std::function<void(QWidget &panel)>;
    void setDesktopPlacement(DesktopPlacement placement) { m_desktopPlacement = std::move(placement); }

    // GNOME's AppIndicator extension answers a single click with Activate only
    // until the item has once answered one; after that it waits for a double
    // click. Offered to the tray afresh after each click, the icon opens the
    // panel on every single click there.
    void setReofferIconAfterClick(bool reoffer) { m_reofferIconAfterClick = reoffer; }

private:
    MenuPanelView &panel();
    void placePanel();
    void updateIcon();
    void activated(QSystemTrayIcon::ActivationReason reason);
    void watchForTray();
    void panelClosed();

    AppState &m_state;
    StatusBarIcon::Tray m_tray;
    QSystemTrayIcon &m_trayIcon;
    std::unique_ptr<MenuPanelView> m_panel;
    PanelAnchor m_anchor;
    DesktopPlacement m_desktopPlacement;
    bool m_reofferIconAfterClick = false;
    // Offered on a right click where the app can pop a menu up itself.
    QMenu m_menu;
    std::optional<qint64> m_shownCount;
    StatusBarIcon::Look m_shownLook = StatusBarIcon::Look::live;
    bool m_iconSet = false;
    QTimer m_trayWatch;
    int m_trayChecks = 0;
    QElapsedTimer m_sinceClosed;
};
