#pragma once

#include <QWidget>

class AppState;

// A panel view that mirrors AppState. A burst of published changes (one refresh
// cycle assigns several fields) is folded into one update on the next turn of
// the event loop; the view updates its widgets in place. A hidden view does
// nothing: it catches up when it is shown again.
class StateView : public QWidget {
    Q_OBJECT
public:
    explicit StateView(AppState &state, QWidget *parent = nullptr);

protected:
    virtual void sync() = 0;
    AppState &state() const { return m_state; }
    void showEvent(QShowEvent *event) override;

private:
    void scheduleSync();

    AppState &m_state;
    bool m_syncScheduled = false;
    bool m_missedChanges = false; // changes published while hidden
};
