#include "FaultPlan.h"

#include "Http.h"

using namespace Qt::StringLiterals;

namespace {

// Optional members of a fault's description: the fallback when absent, nothing
// when present with the wrong JSON type.
struct Fields {
    const QJsonObject &description;

    std::optional<qint64> integerOr(const QString &key, qint64 fallback) const
    {
        const QJsonValue value = description.value(key);
        return value.isUndefined() ? std::optional(fallback) : jsonInteger(value);
    }
    std::optional<QString> stringOr(const QString &key, const QString &fallback) const
    {
        const QJsonValue value = description.value(key);
        if (value.isUndefined())
            return fallback;
        return value.isString() ? std::optional(value.toString()) : std::nullopt;
    }
    std::optional<bool> boolOr(const QString &key) const
    {
        const QJsonValue value = description.value(key);
        if (value.isUndefined())
            return false;
        return value.isBool() ? std::optional(value.toBool()) : std::nullopt;
    }
};

// The answer's body and content type; the complaint when they are unusable.
std::optional<QString> readBody(const Fields &fields, Fault &fault)
{
    const std::optional<QString> body = fields.stringOr(u"body"_s, {});
    const std::optional<QString> bodyBase64 = fields.stringOr(u"bodyBase64"_s, {});
    const std::optional<QString> contentType = fields.stringOr(u"contentType"_s, u"application/json"_s);
    if (!body || !bodyBase64 || !contentType)
        return u"body, bodyBase64 and contentType must be strings"_s;
    if (fields.description.contains(u"body"_s) && fields.description.contains(u"bodyBase64"_s))
        return u"give body or bodyBase64, not both"_s;
    // bodyBase64 serves bytes that are not UTF-8, or not JSON at all.
    const auto decoded = QByteArray::fromBase64Encoding(bodyBase64->toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return u"bodyBase64 must be base64"_s;
    fault.body = fields.description.contains(u"bodyBase64"_s) ? *decoded : body->toUtf8();
    fault.contentType = contentType->toUtf8();
    return std::nullopt;
}

} // namespace

std::optional<QString> FaultPlan::add(const QJsonObject &description)
{
    const Fields fields{description};
    Entry entry;
    const std::optional<qint64> count = fields.integerOr(u"count"_s, 1);
    if (!count || *count < 1)
        return u"count must be a positive integer"_s;
    entry.remaining = *count;
    const std::optional<QString> path = fields.stringOr(u"path"_s, {});
    if (!path)
        return u"path must be a string"_s;
    entry.pathPrefix = *path;
    if (description.contains(u"status"_s)) {
        const std::optional<qint64> status = jsonInteger(description.value(u"status"_s));
        if (!status || *status < 100 || *status > 599)
            return u"status must be an integer from 100 to 599"_s;
        entry.fault.status = int(*status);
    }
    if (const std::optional<QString> complaint = readBody(fields, entry.fault))
        return complaint;
    const std::optional<QString> location = fields.stringOr(u"location"_s, {});
    if (!location || location->contains(u'\r') || location->contains(u'\n'))
        return u"location must be a string on one line"_s;
    if (!location->isEmpty() && !entry.fault.status)
        return u"location needs a status"_s;
    entry.fault.location = location->toUtf8();
    const std::optional<qint64> delayMs = fields.integerOr(u"delayMs"_s, 0);
    if (!delayMs || *delayMs < 0 || *delayMs > 600'000)
        return u"delayMs must be an integer from 0 to 600000"_s;
    entry.fault.delayMs = int(*delayMs);
    const std::optional<bool> drop = fields.boolOr(u"drop"_s), truncate = fields.boolOr(u"truncate"_s),
                              redirectLoop = fields.boolOr(u"redirectLoop"_s), chunked = fields.boolOr(u"chunked"_s);
    if (!drop || !truncate || !redirectLoop || !chunked)
        return u"drop, truncate, redirectLoop and chunked must be booleans"_s;
    if (*chunked && (!entry.fault.status || *truncate))
        return u"chunked needs a status, and no truncate"_s;
    if (int(*drop) + int(*truncate) + int(*redirectLoop) > 1)
        return u"give at most one of drop, truncate and redirectLoop"_s;
    if (*redirectLoop && entry.fault.status)
        return u"redirectLoop answers 302 itself: give no status"_s;
    entry.fault.drop = *drop;
    entry.fault.truncate = *truncate;
    entry.fault.redirectLoop = *redirectLoop;
    entry.fault.chunked = *chunked;
    if (!entry.fault.status && entry.fault.delayMs == 0 && !*drop && !*truncate && !*redirectLoop)
        return u"give a status, a delayMs, drop, truncate or redirectLoop"_s;
    m_entries.push_back(std::move(entry));
    return std::nullopt;
}

std::optional<Fault> FaultPlan::take(const QString &path)
{
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
        if (!path.startsWith(entry->pathPrefix))
            continue;
        const Fault fault = entry->fault;
        if (--entry->remaining == 0)
            m_entries.erase(entry);
        return fault;
    }
    return std::nullopt;
}
