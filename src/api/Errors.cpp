#include "api/Errors.h"

#include <QCoreApplication>

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
        return tr("Invalid server URL.");
    case Kind::unauthorized:
        return tr("Session expired — please sign in again.");
    case Kind::http:
        break;
    }
    if (m_message)
        return *m_message;
    return tr("Request failed (HTTP %1).").arg(m_statusCode);
}

TransportError TransportError::timedOut()
{
    return TransportError(QNetworkReply::TimeoutError,
                          tr("The service did not answer in time."));
}

TransportError TransportError::bodyTooLarge()
{
    return TransportError(QNetworkReply::UnknownContentError,
                          tr("The service's answer is too large."));
}

TransportError TransportError::redirectedElsewhere(const QString &host)
{
    return TransportError(QNetworkReply::InsecureRedirectError,
                          tr("The service sent Cuelark on to another site (%1). The call was stopped and "
                             "nothing was sent there.").arg(host));
}

TransportError TransportError::webPageInstead()
{
    return TransportError(QNetworkReply::ProtocolFailure,
                          tr("The network answered with a web page instead of the service. If it asks you "
                             "to sign in or accept terms, open any page in your browser first."));
}

QString DecodingError::description() const
{
    return tr("The service sent an unexpected answer (%1).").arg(m_detail);
}
