#include "api/Errors.h"

APIError APIError::http(int statusCode, std::optional<QString> message)
{
    return APIError(Kind::http, statusCode, std::move(message));
}

APIError APIError::unauthorized()
{
    return APIError(Kind::unauthorized, 401, std::nullopt);
}

APIError APIError::invalidURL()
{
    return APIError(Kind::invalidURL, 0, std::nullopt);
}

QString APIError::description() const
{
    switch (m_kind) {
    case Kind::invalidURL:
        return QStringLiteral("Invalid server URL.");
    case Kind::unauthorized:
        return QStringLiteral("Session expired — please sign in again.");
    case Kind::http:
        break;
    }
    if (m_message)
        return *m_message;
    return QStringLiteral("Request failed (HTTP %1).").arg(m_statusCode);
}
