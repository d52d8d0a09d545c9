#include "ui/StateView.h"

#include "AppState.h"

#include <QTimer>

StateView::StateView(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    connect(&state, &AppState::changed, this, &StateView::scheduleSync);
}

void StateView::scheduleSync()
{
    if (!isVisible()) {
        m_missedChanges = true;
        return;
    }
    if (m_syncScheduled)
        return;
    m_syncScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_syncScheduled = false;
        if (isVisible())
            sync();
        else
            m_missedChanges = true;
    });
}

// Before the first paint: the view never shows what it missed.
void StateView::showEvent(QShowEvent *event)
{
    if (m_missedChanges) {
        m_missedChanges = false;
        sync();
    }
    QWidget::showEvent(event);
}
