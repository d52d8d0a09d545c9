#include "api/Models.h"

#include "api/ISO8601DateParser.h"
#include "api/Json.h"

// ---- Derived value ---------------------------------------------------------

bool DJEvent::isLive(const QDateTime &now) const
{
    if (isActive)
        return true;
    const std::optional<QDateTime> start = ISO8601DateParser::parse(startDate);
    if (!start)
        return false;
    // Without a readable end the event counts as running for twelve hours.
    constexpr qint64 defaultDurationSeconds = 12 * 60 * 60;
    const std::optional<QDateTime> end = endDate ? ISO8601DateParser::parse(*endDate) : std::nullopt;
    const QDateTime last = end ? *end : start->addSecs(defaultDurationSeconds);
    return *start <= now && now <= last;
}

QString wireString(RequestAction action)
{
    switch (action) {
    case RequestAction::approved:
        return QStringLiteral("approved");
    case RequestAction::rejected:
        return QStringLiteral("rejected");
    }
    Q_UNREACHABLE();
}

// ---- Record rules ----------------------------------------------------------

namespace {

template<typename Record>
Record decodeBody(const QByteArray &body, Record (*readRecord)(const RecordReader &))
{
    const Json::Document document = Json::parse(body);
    return readRecord(RecordReader(document));
}

DJEvent readEvent(const RecordReader &reader)
{
    return DJEvent{
        .id = reader.requiredInt("id"),
        .name = reader.requiredString("name"),
        .isActive = reader.requiredBool("isActive"),
        .startDate = reader.requiredString("startDate"),
        .endDate = reader.optionalString("endDate"),
    };
}

SongRequest readSongRequest(const RecordReader &reader)
{
    return SongRequest{
        .id = reader.requiredInt("id"),
        .status = reader.requiredString("status"),
        .songTitle = reader.requiredString("songTitle"),
        .artistName = reader.requiredString("artistName"),
        .createdAt = reader.requiredString("createdAt"),
    };
}

QByteArray encodeOneMember(const char *key, const QString &value)
{
    return QByteArray::fromStdString(nlohmann::json{{key, value.toStdString()}}.dump());
}

} // namespace

namespace Models {

EventsResponse decodeEvents(const QByteArray &body)
{
    return decodeBody<EventsResponse>(body, [](const RecordReader &reader) {
        return EventsResponse{.events = reader.requiredArray("events", readEvent)};
    });
}

RequestsResponse decodeRequests(const QByteArray &body)
{
    return decodeBody<RequestsResponse>(body, [](const RecordReader &reader) {
        return RequestsResponse{
            .requests = reader.requiredArray("requests", readSongRequest),
            .totalPending = reader.requiredInt("totalPending"),
        };
    });
}

MeResponse decodeMe(const QByteArray &body)
{
    return decodeBody<MeResponse>(body, [](const RecordReader &reader) {
        return MeResponse{.userId = reader.requiredString("userId"), .name = reader.optionalString("name")};
    });
}

AuthStartResponse decodeAuthStart(const QByteArray &body)
{
    return decodeBody<AuthStartResponse>(body, [](const RecordReader &reader) {
        return AuthStartResponse{
            .sessionId = reader.requiredString("sessionId"),
            .pollToken = reader.requiredString("pollToken"),
            .authUrl = reader.requiredString("authUrl"),
            .expiresAt = reader.requiredString("expiresAt"),
        };
    });
}

AuthPollResponse decodeAuthPoll(const QByteArray &body)
{
    return decodeBody<AuthPollResponse>(body, [](const RecordReader &reader) {
        return AuthPollResponse{.status = reader.requiredString("status"), .token = reader.optionalString("token")};
    });
}

std::optional<QString> decodeErrorMessage(const QByteArray &body)
{
    try {
        const Json::Document document = Json::parse(body);
        const RecordReader reader(document);
        return reader.hasOnlyStrings() ? reader.optionalString("error") : std::nullopt;
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

QByteArray encodeStartBody(const QString &redirect)
{
    return encodeOneMember("redirect", redirect);
}

QByteArray encodeUpdateBody(RequestAction action)
{
    return encodeOneMember("status", wireString(action));
}

} // namespace Models
