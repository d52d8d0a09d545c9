#pragma once

#include "ui/StateView.h"

class QLabel;
class QPushButton;
class Spinner;

// The panel while signed out or waiting for the browser sign-in.
class LoginView : public StateView {
    Q_OBJECT
public:
    explicit LoginView(AppState &state, QWidget *parent = nullptr);

protected:
    void sync() override;

private:
    QLabel *m_explanation;
    QPushButton *m_signInButton;
    Spinner *m_spinner;
    QLabel *m_waitingText;
    QPushButton *m_cancelButton;
    QLabel *m_error;
};
