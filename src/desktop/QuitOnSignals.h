#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the application through QCoreApplication::quit() when the session or
// the terminal asks it to (SIGTERM, SIGINT, SIGHUP), so that what runs on
// aboutToQuit (the secret store's pending writes, withdrawing notifications)
// still happens. A second such signal while quitting ends the process at once.
// One per process.
class QuitOnSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

private:
    void received();

    QSocketNotifier *m_notifier = nullptr;
};
