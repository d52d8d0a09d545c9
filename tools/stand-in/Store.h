#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include <map>
#include <optional>

struct Event {
    qint64 id;
    QString name;
    bool isActive;
    QDateTime startDate;
    std::optional<QDateTime> endDate;

    QJsonObject toJson() const;
};

struct SongRequest {
    qint64 id;
    qint64 eventId;
    QString status;
    QString songTitle;
    QString artistName;
    QDateTime createdAt;

    QJsonObject toJson() const;
};

struct SignInSession {
    enum class State { Pending, Complete, Expired };

    QString id;
    QString pollToken;
    QString redirect;
    QDateTime expiresAt;
    QString token; // set once the DJ approved
    bool forcedExpired = false;

    State state() const;
};

struct ReleaseSettings {
    QString version;
    QString notes;
};

// Everything the service knows, in memory. Identifiers, sessions and tokens
// depend only on the seed and on the order of the calls, so two runs with the
// same seed and the same calls hand out the same values.
class Store {
public:
    Store(quint64 seed, qint64 sessionTtlSeconds, ReleaseSettings release);

    QString djUserId() const;
    QString djName() const;

    QString issueToken();
    void acceptToken(const QString &token);
    bool isValidToken(const QString &token) const;
    void revokeToken(const QString &token);
    void revokeAllTokens();

    const SignInSession &openSession(const QString &redirect);
    SignInSession *session(const QString &id);
    // Completes a pending session with a fresh token; false when it is not pending.
    bool approve(SignInSession &session);
    void expireOpenSessions();

    const QList<Event> &events() const { return m_events; }
    const Event *event(qint64 id) const;
    std::optional<qint64> liveEventId() const;
    // Newest (highest id) first.
    QList<SongRequest> requestsOf(qint64 eventId) const;
    qsizetype pendingCount(qint64 eventId) const;
    SongRequest *request(qint64 id);
    // Empties every event's queue, for runs that start from none.
    void removeAllRequests() { m_requests.clear(); }
    const SongRequest &addRequest(qint64 eventId, const QString &songTitle,
                                  const QString &artistName, const QString &status);
    // The next song of the simulated audience, as a pending request of the live event.
    std::optional<SongRequest> addAudienceRequest();

    QByteArray releaseRecord(const QString &origin) const;
    void replaceReleaseRecord(const QByteArray &json) { m_releaseOverride = json; }

private:
    QString derive(const char *kind);

    quint64 m_seed;
    quint64 m_serial = 0;
    qint64 m_sessionTtlSeconds;
    ReleaseSettings m_release;
    QDateTime m_startedAt;
    QSet<QString> m_tokens;
    std::map<QString, SignInSession> m_sessions;
    QList<Event> m_events;
    QList<SongRequest> m_requests;
    qint64 m_nextRequestId = 1001;
    qsizetype m_audienceSongIndex = 0;
    std::optional<QByteArray> m_releaseOverride;
};

QString toWireDate(const QDateTime &time);
