#pragma once

#include "api/Models.h"
#include "ui/Widgets.h"

class AppState;
class ElidedLabel;
class QToolButton;

// One song request: title and artist, copy, and approve/reject while pending
// (otherwise the status word). The row itself takes keyboard focus, shown by a
// ring: A approves, R rejects, C copies, Enter does nothing; Up, Down, Home and
// End are handed to the list.
class RequestRow : public RoundedFrame {
    Q_OBJECT
public:
    RequestRow(AppState &state, const SongRequest &request, QWidget *parent = nullptr);

    const SongRequest &request() const { return m_request; }
    void setRequest(const SongRequest &request);

    // What the copy button puts on the clipboard: title, one space, artist.
    static QString copyText(const SongRequest &request);
    static QColor statusColor(const QString &status);
    // "played" → "Played", "in queue" → "In Queue".
    static QString capitalized(const QString &status);
    // The status shown: the known states in the user's language, any other capitalized.
    static QString statusText(const QString &status);

    static constexpr qreal radius = 10;

    // The row and its controls in keyboard order, for the list's tab chain.
    QList<QWidget *> focusChain();

Q_SIGNALS:
    // Up, Down, Home or End pressed on the row.
    void navigate(int key);
    // The request was approved or rejected from this row.
    void answered();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void copyToClipboard() const;
    void answer(RequestAction action);

    AppState &m_state;
    SongRequest m_request;
    ElidedLabel *m_title;
    ElidedLabel *m_artist;
    QToolButton *m_copy;
    QToolButton *m_approve;
    QToolButton *m_reject;
    ElidedLabel *m_status;
};
