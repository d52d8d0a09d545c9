#pragma once

#include <QWidget>

class AppState;
class QLabel;

// Shown while no browser took the last web page the DJ asked for: says so and
// offers the page's address as text and on the clipboard.
class UnopenedPageNotice : public QWidget {
    Q_OBJECT
public:
    explicit UnopenedPageNotice(AppState &state, QWidget *parent = nullptr);

private:
    void sync();

    AppState &m_state;
    QLabel *m_address;
};
