#include "FaultPlan.h"

#include "Http.h"

using namespace Qt::StringLiterals;

std::optional<QString> FaultPlan::add(const QJsonObject &description)
{
    const auto integerOr = [&description](const QString &key, qint64 fallback) -> std::optional<qint64> {
        const QJsonValue value = description.value(key);
        return value.isUndefined() ? std::optional(fallback) : jsonInteger(value);
    };
    const auto stringOr = [&description](const QString &key, const QString &fallback) -> std::optional<QString> {
        const QJsonValue value = description.value(key);
        if (value.isUndefined())
            return fallback;
        return value.isString() ? std::optional(value.toString()) : std::nullopt;
    };

    Entry entry;
    const std::optional<qint64> count = integerOr(u"count"_s, 1);
    if (!count || *count < 1)
        return u"count must be a positive integer"_s;
    entry.remaining = *count;
    const std::optional<QString> path = stringOr(u"path"_s, {});
    if (!path)
        return u"path must be a string"_s;
    entry.pathPrefix = *path;
    if (description.contains(u"status"_s)) {
        const std::optional<qint64> status = jsonInteger(description.value(u"status"_s));
        if (!status || *status < 100 || *status > 599)
            return u"status must be an integer from 100 to 599"_s;
        entry.fault.status = int(*status);
    }
    const std::optional<QString> body = stringOr(u"body"_s, {});
    const std::optional<QString> contentType = stringOr(u"contentType"_s, u"application/json"_s);
    if (!body || !contentType)
        return u"body and contentType must be strings"_s;
    entry.fault.body = body->toUtf8();
    entry.fault.contentType = contentType->toUtf8();
    const std::optional<qint64> delayMs = integerOr(u"delayMs"_s, 0);
    if (!delayMs || *delayMs < 0 || *delayMs > 600'000)
        return u"delayMs must be an integer from 0 to 600000"_s;
    entry.fault.delayMs = int(*delayMs);
    const QJsonValue drop = description.value(u"drop"_s);
    if (!drop.isUndefined() && !drop.isBool())
        return u"drop must be a boolean"_s;
    entry.fault.drop = drop.toBool();
    if (!entry.fault.status && !entry.fault.drop && entry.fault.delayMs == 0)
        return u"give a status, a delayMs or drop"_s;
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
