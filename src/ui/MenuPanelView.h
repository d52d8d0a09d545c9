#pragma once

#include "ui/StateView.h"

class DashboardView;
class LoginView;
class QVBoxLayout;

// The panel: 340 px wide, dark, showing the sign-in view or the dashboard. Its
// height follows its content.
class MenuPanelView : public StateView {
    Q_OBJECT
public:
    explicit MenuPanelView(AppState &state, QWidget *parent = nullptr);
    ~MenuPanelView() override;

    static constexpr int panelWidth = 340;

    // A panel that closes on Escape or a click outside, or (when the desktop has
    // no tray) an ordinary window.
    void setWindowMode(bool window);
    bool isWindowMode() const { return m_windowMode; }
    // Whether it closed because the app lost activation (a click outside).
    bool closedOnDeactivation() const { return m_closedOnDeactivation; }

Q_SIGNALS:
    void closed();
    void resized();

protected:
    void sync() override;
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitHeight();

    QVBoxLayout *m_column;
    LoginView *m_login = nullptr;
    DashboardView *m_dashboard = nullptr;
    bool m_windowMode = false;
    bool m_closedOnDeactivation = false;
};
