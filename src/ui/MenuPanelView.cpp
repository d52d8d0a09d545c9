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

// Not a Qt::Popup: Qt leaves pop-ups out of the application's accessible tree,
// so a screen reader could not reach the panel. A frameless tool window that
// closes when the app loses activation (a click anywhere outside it) behaves
// alike, and also works on Wayland, where a grabbing pop-up needs a parent
// surface that a tray icon does not give.
constexpr Qt::WindowFlags panelFlags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

} // namespace

MenuPanelView::MenuPanelView(AppState &state, QWidget *parent)
    : StateView(state, parent)
{
    setObjectName(QStringLiteral("menuPanel"));
    setWindowTitle(QStringLiteral("Cuelark"));
    setWindowFlags(panelFlags);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState appState) {
        if (appState != Qt::ApplicationActive && !m_windowMode && isVisible()) {
            m_closedOnDeactivation = true;
            close();
        }
    });
    // The panel is dark whatever the desktop's colour scheme.
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);

    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(0);

    sync();
    fitHeight();
}

MenuPanelView::~MenuPanelView() = default;

void MenuPanelView::setWindowMode(bool window)
{
    if (window == m_windowMode)
        return;
    m_windowMode = window;
    const bool wasVisible = isVisible();
    setWindowFlags(window ? Qt::Window : panelFlags);
    if (wasVisible)
        show();
}

// Each view is built when the state first calls for it: a DJ signed in at the
// first click never pays for the sign-in page, nor a signed-out one for the
// dashboard.
void MenuPanelView::sync()
{
    const bool signedIn = state().authState() == AppState::AuthState::signedIn;
    if (signedIn && !m_dashboard) {
        m_dashboard = new DashboardView(state(), this);
        m_column->addWidget(m_dashboard);
    } else if (!signedIn && !m_login) {
        m_login = new LoginView(state(), this);
        m_column->insertWidget(0, m_login);
    }
    if (m_login)
        m_login->setVisible(!signedIn);
    if (m_dashboard)
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

void MenuPanelView::showEvent(QShowEvent *event)
{
    // The views have caught up with what changed while the panel was hidden
    // (they are shown first): the window takes their height before it maps.
    StateView::showEvent(event);
    fitHeight();
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
    // What the style drew for the panel (only the panel draws through it) is
    // drawn again at the next opening: a closed panel keeps none of it.
    QPixmapCache::clear();
    Q_EMIT closed();
}

void MenuPanelView::resizeEvent(QResizeEvent *event)
{
    StateView::resizeEvent(event);
    Q_EMIT resized();
}
