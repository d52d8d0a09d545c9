#pragma once

#include "api/Models.h"
#include "ui/Widgets.h"

class AppState;
class ElidedLabel;
class QToolButton;

// One song request: title and artist, copy, and approve/reject while pending
// (otherwise the status word).
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

    // A status word the service made up is cut rather than squeezing the title.
    static constexpr int maxStatusWidth = 90;

    // The row's controls in keyboard order, for the list's tab chain.
    QList<QWidget *> focusChain() const;

private:
    void copyToClipboard() const;

    AppState &m_state;
    SongRequest m_request;
    ElidedLabel *m_title;
    ElidedLabel *m_artist;
    QToolButton *m_copy;
    QToolButton *m_approve;
    QToolButton *m_reject;
    ElidedLabel *m_status;
};
