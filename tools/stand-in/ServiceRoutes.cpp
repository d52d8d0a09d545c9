#include "Routes.h"
#include "Store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QString defaultRedirect = u"/glasses.html"_s;

// Only a path on this origin: an absolute or scheme-relative address would turn
// the approval into an open redirect.
QString safeRedirect(const QJsonValue &requested)
{
    const QString path = requested.toString();
    const QUrl url(path, QUrl::StrictMode);
    if (!path.startsWith(u'/') || path.startsWith(u"//") || path.contains(u'\\') || !url.isValid()
        || !url.isRelative())
        return defaultRedirect;
    return path;
}

Reply startSession(Store &store, const Call &call)
{
    QJsonObject body;
    if (!call.body.isEmpty()) {
        const QJsonDocument document = QJsonDocument::fromJson(call.body);
        if (!document.isObject())
            return Reply::error(400, u"Invalid JSON body"_s);
        body = document.object();
    }
    const SignInSession &session = store.openSession(safeRedirect(body.value(u"redirect"_s)));
    QUrl authUrl(call.origin + u"/glasses/sign-in"_s);
    authUrl.setQuery(u"session="_s + session.id);
    return Reply::json(200, QJsonObject{{u"sessionId"_s, session.id},
                                        {u"pollToken"_s, session.pollToken},
                                        {u"authUrl"_s, authUrl.toString(QUrl::FullyEncoded)},
                                        {u"expiresAt"_s, toWireDate(session.expiresAt)}});
}

Reply sessionStatus(Store &store, const Call &call)
{
    const SignInSession *session = store.session(call.queryValue(u"session"_s));
    if (!session)
        return Reply::error(404, u"Unknown sign-in session"_s);
    if (call.header("x-glasses-poll-token") != session->pollToken.toUtf8())
        return Reply::error(403, u"Invalid poll token"_s);
    switch (session->state()) {
    case SignInSession::State::Complete:
        return Reply::json(200, QJsonObject{{u"status"_s, u"complete"_s}, {u"token"_s, session->token}});
    case SignInSession::State::Expired:
        return Reply::json(200, QJsonObject{{u"status"_s, u"expired"_s}});
    case SignInSession::State::Pending:
        break;
    }
    return Reply::json(200, QJsonObject{{u"status"_s, u"pending"_s}});
}

Reply eventList(const Store &store)
{
    QJsonArray events;
    for (const Event &event : store.events())
        events.append(event.toJson());
    return Reply::json(200, QJsonObject{{u"events"_s, events}});
}

std::optional<qint64> integerParameter(const Call &call, const QString &name)
{
    bool ok = false;
    const qint64 value = call.queryValue(name).toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

Reply requestList(const Store &store, const Call &call)
{
    const std::optional<qint64> eventId = integerParameter(call, u"eventId"_s);
    if (!eventId)
        return Reply::error(400, u"eventId must be an integer"_s);
    const std::optional<qint64> limit = integerParameter(call, u"limit"_s);
    if (!limit || *limit < 1)
        return Reply::error(400, u"limit must be a positive integer"_s);
    if (!store.event(*eventId))
        return Reply::error(404, u"Event not found"_s);
    QJsonArray requests;
    const QList<SongRequest> all = store.requestsOf(*eventId);
    for (const SongRequest &request : all.first(std::min<qint64>(*limit, all.size())))
        requests.append(request.toJson());
    return Reply::json(200, QJsonObject{{u"requests"_s, requests},
                                        {u"totalPending"_s, store.pendingCount(*eventId)}});
}

Reply updateRequest(Store &store, const Call &call, const QString &id)
{
    bool ok = false;
    SongRequest *request = store.request(id.toLongLong(&ok));
    if (!ok || !request)
        return Reply::error(404, u"Request not found"_s);
    const QJsonValue status = QJsonDocument::fromJson(call.body).object().value(u"status"_s);
    static const QStringList statuses{u"approved"_s, u"rejected"_s, u"pending"_s, u"played"_s};
    if (!status.isString() || !statuses.contains(status.toString()))
        return Reply::error(400, u"Invalid status"_s);
    request->status = status.toString();
    return Reply::json(200, QJsonObject{{u"request"_s, request->toJson()}});
}

Reply signInPage(Store &store, const Call &call)
{
    const SignInSession *session = store.session(call.queryValue(u"session"_s));
    if (!session)
        return Reply::html(404, u"Sign-in link not found"_s,
                           u"<p>This sign-in link is unknown. Start again from Cuelark.</p>"_s);
    switch (session->state()) {
    case SignInSession::State::Expired:
        return Reply::html(410, u"Sign-in link expired"_s,
                           u"<p>This sign-in link has expired. Start again from Cuelark.</p>"_s);
    case SignInSession::State::Complete:
        return Reply::html(410, u"Already signed in"_s,
                           u"<p>This sign-in link has already been used.</p>"_s);
    case SignInSession::State::Pending:
        break;
    }
    const QString form =
        u"<p>Signed in on the web as <strong>%1</strong>.</p>\n"
        "<p>Allow the Cuelark desktop app to see your events and answer song requests?</p>\n"
        "<form method=\"post\" action=\"/glasses/sign-in/approve\">\n"
        "<input type=\"hidden\" name=\"session\" value=\"%2\">\n"
        "<button type=\"submit\">Approve</button>\n</form>"_s.arg(store.djName().toHtmlEscaped(),
                                                                    session->id.toHtmlEscaped());
    return Reply::html(200, u"Sign in to Cuelark"_s, form);
}

Reply approveSignIn(Store &store, const Call &call)
{
    const QUrlQuery form(QString::fromUtf8(call.body));
    SignInSession *session = store.session(form.queryItemValue(u"session"_s, QUrl::FullyDecoded));
    if (!session)
        return Reply::html(404, u"Sign-in link not found"_s,
                           u"<p>This sign-in link is unknown. Start again from Cuelark.</p>"_s);
    // Approving twice is harmless: the browser may resubmit the form.
    if (!store.approve(*session) && session->state() != SignInSession::State::Complete)
        return Reply::html(410, u"Sign-in link expired"_s,
                           u"<p>This sign-in link has expired. Start again from Cuelark.</p>"_s);
    return Reply::redirect(call.origin + session->redirect);
}

Reply staticPage(const QString &title, const QString &text)
{
    return Reply::html(200, title, u"<p>"_s + text.toHtmlEscaped() + u"</p>"_s);
}

} // namespace

void addServiceRoutes(Router &router, Store &store)
{
    router.open("POST", u"/api/glasses/auth/start"_s,
                [&store](const Call &call, const QString &) { return startSession(store, call); });
    router.open("GET", u"/api/glasses/auth/status"_s,
                [&store](const Call &call, const QString &) { return sessionStatus(store, call); });
    router.guarded("GET", u"/api/glasses/me"_s, [&store](const Call &, const QString &) {
        return Reply::json(200, QJsonObject{{u"userId"_s, store.djUserId()}, {u"name"_s, store.djName()}});
    });
    router.guarded("GET", u"/api/glasses/events"_s,
                   [&store](const Call &, const QString &) { return eventList(store); });
    router.guarded("GET", u"/api/glasses/requests"_s,
                   [&store](const Call &call, const QString &) { return requestList(store, call); });
    router.guarded("PATCH", u"/api/glasses/requests/*"_s, [&store](const Call &call, const QString &id) {
        return updateRequest(store, call, id);
    });
    router.open("GET", u"/mac-app/latest.json"_s, [&store](const Call &call, const QString &) {
        return Reply{200, "application/json", store.releaseRecord(call.origin), {}};
    });

    router.open("GET", u"/glasses/sign-in"_s,
                [&store](const Call &call, const QString &) { return signInPage(store, call); });
    router.open("POST", u"/glasses/sign-in/approve"_s,
                [&store](const Call &call, const QString &) { return approveSignIn(store, call); });
    router.open("GET", u"/glasses.html"_s, [](const Call &, const QString &) {
        return staticPage(u"Signed in"_s, u"Signed in — you can return to Cuelark."_s);
    });
    const auto downloadPage = [](const Call &, const QString &) {
        return staticPage(u"Cuelark for Mac"_s,
                          u"Download the Cuelark menu-bar app. Cuelark keeps no data about your "
                          "audience beyond their song requests."_s);
    };
    router.open("GET", u"/download/mac"_s, downloadPage);
    router.open("GET", u"/download/mac/*"_s, downloadPage);
    router.open("GET", u"/terms-of-service"_s, [](const Call &, const QString &) {
        return staticPage(u"Terms of Service"_s,
                          u"These are the terms of the Cuelark stand-in service, used for demos and tests."_s);
    });
}
