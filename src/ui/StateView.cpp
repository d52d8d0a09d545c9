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
    if (m_syncScheduled)
        return;
    m_syncScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_syncScheduled = false;
        sync();
    });
}
