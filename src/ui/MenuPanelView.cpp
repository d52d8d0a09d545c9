#include "ui/MenuPanelView.h"

#include "AppState.h"
#include "ui/DashboardView.h"
#include "ui/LoginView.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPixmapCache>
#include <QVBoxLayout>

namespace {

// Wayland refuses grabbing pop-ups that have no parent surface, and a tray icon
// gives none: there the panel is a frameless window that closes when the app
// loses focus, which is what a click outside it does.
bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

Qt::WindowFlags popupFlags()
{
    return (onWayland() ? Qt::Tool : Qt::Popup) | Qt::FramelessWindowHint;
}

} // namespace

MenuPanelView::MenuPanelView(AppState &state, QWidget *parent)
    : StateView(state, parent)
{
    setObjectName(QStringLiteral("menuPanel"));
    setWindowTitle(QStringLiteral("Cuelark"));
    setWindowFlags(popupFlags());
    if (onWayland()) {
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState appState) {
            if (appState != Qt::ApplicationActive && !m_windowMode)
                close();
        });
    }
    // The panel is dark whatever the desktop's colour scheme.
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_login = new LoginView(state, this);
    m_dashboard = new DashboardView(state, this);
    column->addWidget(m_login);
    column->addWidget(m_dashboard);

    sync();
    fitHeight();
}

MenuPanelView::~MenuPanelView()
{
    // The style caches what it draws under keys that name each widget's own
    // palette, so every opening of the panel added entries that nothing would
    // ask for again. Only the panel draws through the style: a closed panel
    // keeps nothing.
    QPixmapCache::clear();
}

void MenuPanelView::setWindowMode(bool window)
{
    if (window == m_windowMode)
        return;
    m_windowMode = window;
    const bool wasVisible = isVisible();
    setWindowFlags(window ? Qt::Window : popupFlags());
    if (wasVisible)
        show();
}

void MenuPanelView::sync()
{
    const bool signedIn = state().authState() == AppState::AuthState::signedIn;
    m_login->setVisible(!signedIn);
    m_dashboard->setVisible(signedIn);
}

bool MenuPanelView::event(QEvent *event)
{
    const bool result = StateView::event(event);
    // The layout has just recomputed the children's sizes (text wrapped, a row
    // added): the panel follows with its height, never its width.
    if (event->type() == QEvent::LayoutRequest)
        fitHeight();
    return result;
}

void MenuPanelView::fitHeight()
{
    QLayout *column = layout();
    const int height = column->hasHeightForWidth() ? column->totalHeightForWidth(panelWidth)
                                                   : column->totalSizeHint().height();
    setFixedSize(panelWidth, height);
}

void MenuPanelView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (!m_windowMode) {
            close();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter presses the focused button, as Space does.
        if (auto *button = qobject_cast<QAbstractButton *>(focusWidget()); button && button->isEnabled()) {
            button->animateClick();
            return;
        }
        break;
    default:
        break;
    }
    StateView::keyPressEvent(event);
}

void MenuPanelView::closeEvent(QCloseEvent *event)
{
    StateView::closeEvent(event);
    Q_EMIT closed();
}

void MenuPanelView::resizeEvent(QResizeEvent *event)
{
    StateView::resizeEvent(event);
    Q_EMIT resized();
}
