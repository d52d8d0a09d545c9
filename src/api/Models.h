#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The records that cross the wire to the Cuelark service. Plain values; strings
// (timestamps included) are kept exactly as the service sent them.

struct DJEvent {
    qint64 id = 0;
    QString name;
    bool isActive = false;
    QString startDate;
    std::optional<QString> endDate;

    // Computed afresh against `now` on every call.
    bool isLive(const QDateTime &now) const;

    friend bool operator==(const DJEvent &, const DJEvent &) = default;
};

struct SongRequest {
    qint64 id = 0;
    QString status;   // open set: "pending", "approved", "rejected", "played", ...
    QString songTitle;
    QString artistName;
    QString createdAt;

    bool isPending() const { return status == QLatin1String("pending"); }

    friend bool operator==(const SongRequest &, const SongRequest &) = default;
};

enum class RequestAction { approved, rejected };
QString wireString(RequestAction action);

struct EventsResponse {
    QList<DJEvent> events;
};

struct RequestsResponse {
    QList<SongRequest> requests;
    qint64 totalPending = 0;
};

struct MeResponse {
    QString userId;
    std::optional<QString> name;
};

struct AuthStartResponse {
    QString sessionId;
    QString pollToken;
    QString authUrl;
    QString expiresAt;
};

struct AuthPollResponse {
    QString status;
    std::optional<QString> token;
};

// Strict decoders: a body that breaks a rule throws DecodingError (api/Errors.h);
// no partial or default record is ever produced.
namespace Models {
EventsResponse decodeEvents(const QByteArray &body);
RequestsResponse decodeRequests(const QByteArray &body);
MeResponse decodeMe(const QByteArray &body);
AuthStartResponse decodeAuthStart(const QByteArray &body);
AuthPollResponse decodeAuthPoll(const QByteArray &body);
// The service's own message in an error body: only an object whose every member
// is a string counts, and then only its "error" member. Never throws.
std::optional<QString> decodeErrorMessage(const QByteArray &body);

// Compact one-member bodies: {"redirect":"/glasses.html"}, {"status":"approved"}.
QByteArray encodeStartBody(const QString &redirect);
QByteArray encodeUpdateBody(RequestAction action);
} // namespace Models
