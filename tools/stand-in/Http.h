#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

#include <optional>

class QHttpServerRequest;

// One incoming call, copied out of the server's request object so that it can
// be answered after a delay, when that object may be gone.
struct Call {
    QByteArray method;
    QString path;        // decoded
    QByteArray wirePath; // percent-encoded, safe to print on one line
    QByteArray rawQuery;
    QUrlQuery query;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QString origin; // scheme://host[:port] as the client addressed us
    int connection = 0; // which TCP connection carried it: 1 for the first one accepted, and so on

    static Call from(const QHttpServerRequest &request, const QString &fallbackOrigin);

    // Absent when the header was not sent at all (an empty value is present).
    std::optional<QByteArray> header(QByteArrayView name) const;
    QString queryValue(const QString &name) const;
    std::optional<QString> bearerToken() const;
};

struct Reply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QByteArray location;

    static Reply json(int status, const QJsonValue &value);
    static Reply error(int status, const QString &message);
    // `bodyHtml` must already be escaped; `title` is escaped here.
    static Reply html(int status, const QString &title, const QString &bodyHtml);
    static Reply redirect(const QString &location);
};

// A JSON number that is a whole int64, or absent.
std::optional<qint64> jsonInteger(const QJsonValue &value);
