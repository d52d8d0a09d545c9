#include "FaultPlan.h"
#include "Routes.h"
#include "Store.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace {

// An empty body counts as {}.
std::optional<QJsonObject> objectBody(const Call &call)
{
    if (call.body.trimmed().isEmpty())
        return QJsonObject();
    const QJsonDocument document = QJsonDocument::fromJson(call.body);
    return document.isObject() ? std::optional(document.object()) : std::nullopt;
}

Reply notAnObject()
{
    return Reply::error(400, u"The body must be a JSON object"_s);
}

Reply revoke(Store &store, const QJsonObject &body)
{
    const QJsonValue token = body.value(u"token"_s);
    if (token.isUndefined())
        store.revokeAllTokens();
    else if (token.isString())
        store.revokeToken(token.toString());
    else
        return Reply::error(400, u"token must be a string"_s);
    return Reply::json(200, QJsonObject());
}

Reply createRequest(Store &store, const QJsonObject &body)
{
    const QJsonValue songTitle = body.value(u"songTitle"_s);
    const QJsonValue artistName = body.value(u"artistName"_s);
    const QJsonValue status = body.value(u"status"_s);
    if (!songTitle.isString() || !artistName.isString() || !(status.isUndefined() || status.isString()))
        return Reply::error(400, u"songTitle and artistName (and status) must be strings"_s);
    std::optional<qint64> eventId = store.liveEventId();
    if (body.contains(u"eventId"_s))
        eventId = jsonInteger(body.value(u"eventId"_s));
    if (!eventId || !store.event(*eventId))
        return Reply::error(404, u"Event not found"_s);
    const SongRequest &request = store.addRequest(*eventId, songTitle.toString(), artistName.toString(),
                                                  status.toString(u"pending"_s));
    return Reply::json(200, request.toJson());
}

} // namespace

void addControlRoutes(Router &router, Store &store, FaultPlan &faults, QJsonArray &callLog,
                      std::function<void(std::chrono::milliseconds)> pauseListening)
{
    const auto withBody = [](auto handle) {
        return [handle](const Call &call, const QString &) {
            const std::optional<QJsonObject> body = objectBody(call);
            return body ? handle(*body) : notAnObject();
        };
    };

    router.open("POST", u"/control/tokens"_s, [&store](const Call &, const QString &) {
        return Reply::json(200, QJsonObject{{u"token"_s, store.issueToken()}});
    });
    router.open("POST", u"/control/revoke"_s,
                withBody([&store](const QJsonObject &body) { return revoke(store, body); }));
    router.open("POST", u"/control/requests"_s,
                withBody([&store](const QJsonObject &body) { return createRequest(store, body); }));
    router.open("POST", u"/control/inject"_s, withBody([&faults](const QJsonObject &body) {
        const std::optional<QString> problem = faults.add(body);
        return problem ? Reply::error(400, *problem) : Reply::json(200, QJsonObject());
    }));
    router.open("DELETE", u"/control/inject"_s, [&faults](const Call &, const QString &) {
        faults.clear();
        return Reply::json(200, QJsonObject());
    });
    router.open("POST", u"/control/pause"_s, withBody([pauseListening](const QJsonObject &body) {
        const std::optional<qint64> ms = jsonInteger(body.value(u"ms"_s));
        if (!ms || *ms < 1 || *ms > 600'000)
            return Reply::error(400, u"ms must be an integer from 1 to 600000"_s);
        pauseListening(std::chrono::milliseconds(*ms));
        return Reply::json(200, QJsonObject());
    }));
    router.open("POST", u"/control/release"_s, [&store](const Call &call, const QString &) {
        if (!QJsonDocument::fromJson(call.body).isObject())
            return notAnObject();
        // Kept as sent, byte for byte, so tests can serve odd but valid JSON.
        store.replaceReleaseRecord(call.body);
        return Reply::json(200, QJsonObject());
    });
    router.open("POST", u"/control/expire-sessions"_s, [&store](const Call &, const QString &) {
        store.expireOpenSessions();
        return Reply::json(200, QJsonObject());
    });
    router.open("GET", u"/control/log"_s,
                [&callLog](const Call &, const QString &) { return Reply::json(200, callLog); });
    router.open("DELETE", u"/control/log"_s, [&callLog](const Call &, const QString &) {
        callLog = QJsonArray();
        return Reply::json(200, QJsonObject());
    });
}
