#include "Store.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QUrl>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

struct Song {
    const char16_t *title;
    const char16_t *artist;
};

// What the simulated audience asks for, in this order, round and round.
constexpr std::array audienceSongs{
    Song{u"Neon Harbour", u"The Lanterns"},
    Song{u"Slow Motion Summer", u"Mara Quill"},
    Song{u"Paper Planets", u"Orbit Club"},
    Song{u"Copper Skies", u"Dune Avenue"},
    Song{u"Late Train Home", u"Felix Marrow"},
    Song{u"Glass Garden", u"Velvet Static"},
    Song{u"Run the Tide", u"Harbor Lights"},
    Song{u"Marigold", u"June & the Foxes"},
};

constexpr qint64 seededPastEvent = 101;
constexpr qint64 seededLiveEvent = 102;
constexpr qint64 seededUpcomingEvent = 103;
constexpr int releaseBuild = 1;

} // namespace

QString toWireDate(const QDateTime &time)
{
    const QDateTime utc = time.toUTC();
    return utc.time().msec() == 0 ? utc.toString(Qt::ISODate) : utc.toString(Qt::ISODateWithMs);
}

QJsonObject Event::toJson() const
{
    QJsonObject json{{u"id"_s, id},
                     {u"name"_s, name},
                     {u"isActive"_s, isActive},
                     {u"startDate"_s, toWireDate(startDate)}};
    if (endDate)
        json.insert(u"endDate"_s, toWireDate(*endDate));
    return json;
}

QJsonObject SongRequest::toJson() const
{
    return {{u"id"_s, id},
            {u"eventId"_s, eventId},
            {u"status"_s, status},
            {u"songTitle"_s, songTitle},
            {u"artistName"_s, artistName},
            {u"createdAt"_s, toWireDate(createdAt)}};
}

SignInSession::State SignInSession::state() const
{
    if (!token.isEmpty())
        return State::Complete;
    if (forcedExpired || QDateTime::currentDateTimeUtc() >= expiresAt)
        return State::Expired;
    return State::Pending;
}

Store::Store(quint64 seed, qint64 sessionTtlSeconds, ReleaseSettings release)
    : m_seed(seed)
    , m_sessionTtlSeconds(sessionTtlSeconds)
    , m_release(std::move(release))
    , m_startedAt(QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC))
{
    const QDateTime now = m_startedAt;
    const QDateTime pastStart = now.addDays(-7);
    m_events = {
        {seededPastEvent, u"Rooftop Sessions"_s, false, pastStart, pastStart.addSecs(4 * 3600)},
        {seededLiveEvent, u"Friday Night Set"_s, true, now.addSecs(-3600), now.addSecs(3 * 3600)},
        {seededUpcomingEvent, u"New Year's Eve Party"_s, false, now.addDays(10), std::nullopt},
    };

    struct Seeded {
        qint64 eventId;
        const char16_t *status;
        QString title;
        QString artist;
        QDateTime createdAt;
    };
    const Seeded seeded[] = {
        {seededPastEvent, u"played", u"Sunset Boulevard Drive"_s, u"The Lanterns"_s, pastStart.addSecs(600)},
        {seededPastEvent, u"played", u"Echoes in Blue"_s, u"Mara Quill"_s, pastStart.addSecs(1800)},
        {seededPastEvent, u"played", u"Velvet Underground Lights"_s, u"Orbit Club"_s, pastStart.addSecs(5400)},
        {seededLiveEvent, u"played", u"First Dance"_s, u"Felix Marrow"_s, now.addSecs(-3300)},
        {seededLiveEvent, u"played", u"City of Sparks"_s, u"Dune Avenue"_s, now.addSecs(-3000)},
        {seededLiveEvent, u"approved", u"Golden Hour"_s, u"Velvet Static"_s, now.addSecs(-2700)},
        {seededLiveEvent, u"rejected", u"Never Gonna Stop"_s, u"Harbor Lights"_s, now.addSecs(-2400)},
        {seededLiveEvent, u"approved", u"Moonlit Avenue"_s, u"June & the Foxes"_s, now.addSecs(-2100)},
        {seededLiveEvent, u"pending", u"Afterglow"_s, u"The Lanterns"_s, now.addSecs(-1500).addMSecs(250)},
        {seededLiveEvent, u"pending", u"<b>Bold</b> & \"Quotes\""_s, u"<i>Markup</i> Tester"_s, now.addSecs(-1200)},
        {seededLiveEvent, u"rejected", u"Static Hearts"_s, u"Mara Quill"_s, now.addSecs(-900)},
        {seededLiveEvent, u"pending", u"Dancing on the Ceiling Fan"_s, u"Orbit Club"_s, now.addSecs(-600)},
        {seededLiveEvent, u"pending", u"Take Me Higher"_s, u"Felix Marrow"_s, now.addSecs(-120).addMSecs(500)},
    };
    for (const Seeded &request : seeded)
        m_requests.append({m_nextRequestId++, request.eventId, QString::fromUtf16(request.status),
                           request.title, request.artist, request.createdAt});
}

QString Store::djUserId() const { return u"dj-1"_s; }
QString Store::djName() const { return u"DJ Nova"_s; }

QString Store::derive(const char *kind)
{
    const QByteArray material =
        QByteArray::number(m_seed) + ':' + kind + ':' + QByteArray::number(++m_serial);
    const QByteArray digest = QCryptographicHash::hash(material, QCryptographicHash::Sha256).toHex();
    return QLatin1StringView(kind) + u'_' + QString::fromLatin1(digest.left(32));
}

QString Store::issueToken()
{
    const QString token = derive("tok");
    m_tokens.insert(token);
    return token;
}

void Store::acceptToken(const QString &token) { m_tokens.insert(token); }
bool Store::isValidToken(const QString &token) const { return m_tokens.contains(token); }
void Store::revokeToken(const QString &token) { m_tokens.remove(token); }
void Store::revokeAllTokens() { m_tokens.clear(); }

const SignInSession &Store::openSession(const QString &redirect)
{
    SignInSession session;
    session.id = derive("ses");
    session.pollToken = derive("poll");
    session.redirect = redirect;
    session.expiresAt = QDateTime::currentDateTimeUtc().addSecs(m_sessionTtlSeconds);
    return m_sessions.insert_or_assign(session.id, session).first->second;
}

SignInSession *Store::session(const QString &id)
{
    const auto found = m_sessions.find(id);
    return found == m_sessions.end() ? nullptr : &found->second;
}

bool Store::approve(SignInSession &session)
{
    if (session.state() != SignInSession::State::Pending)
        return false;
    session.token = issueToken();
    return true;
}

void Store::expireOpenSessions()
{
    for (auto &[id, session] : m_sessions) {
        if (session.state() == SignInSession::State::Pending)
            session.forcedExpired = true;
    }
}

const Event *Store::event(qint64 id) const
{
    const auto found = std::ranges::find(m_events, id, &Event::id);
    return found == m_events.end() ? nullptr : &*found;
}

std::optional<qint64> Store::liveEventId() const
{
    const auto found = std::ranges::find(m_events, true, &Event::isActive);
    return found == m_events.end() ? std::nullopt : std::optional(found->id);
}

QList<SongRequest> Store::requestsOf(qint64 eventId) const
{
    QList<SongRequest> requests;
    std::ranges::copy_if(m_requests, std::back_inserter(requests),
                         [eventId](const SongRequest &request) { return request.eventId == eventId; });
    std::ranges::sort(requests, std::ranges::greater{}, &SongRequest::id);
    return requests;
}

qsizetype Store::pendingCount(qint64 eventId) const
{
    return std::ranges::count_if(m_requests, [eventId](const SongRequest &request) {
        return request.eventId == eventId && request.status == u"pending";
    });
}

SongRequest *Store::request(qint64 id)
{
    const auto found = std::ranges::find(m_requests, id, &SongRequest::id);
    return found == m_requests.end() ? nullptr : &*found;
}

const SongRequest &Store::addRequest(qint64 eventId, const QString &songTitle,
                                     const QString &artistName, const QString &status)
{
    m_requests.append({m_nextRequestId++, eventId, status, songTitle, artistName,
                       QDateTime::currentDateTimeUtc()});
    return m_requests.constLast();
}

std::optional<SongRequest> Store::addAudienceRequest()
{
    const std::optional<qint64> eventId = liveEventId();
    if (!eventId)
        return std::nullopt;
    const Song &song = audienceSongs[m_audienceSongIndex++ % qsizetype(audienceSongs.size())];
    return addRequest(*eventId, QString::fromUtf16(song.title), QString::fromUtf16(song.artist),
                      u"pending"_s);
}

QByteArray Store::releaseRecord(const QString &origin) const
{
    if (m_releaseOverride)
        return *m_releaseOverride;
    const QString downloadUrl = origin + u"/download/mac/Cuelark-"_s
                                + QString::fromLatin1(QUrl::toPercentEncoding(m_release.version))
                                + u".dmg"_s;
    const QJsonObject record{{u"version"_s, m_release.version},
                             {u"build"_s, releaseBuild},
                             {u"downloadUrl"_s, downloadUrl},
                             {u"signed"_s, false},
                             {u"notarized"_s, false},
                             {u"releaseNotes"_s, m_release.notes},
                             {u"publishedAt"_s, toWireDate(m_startedAt.addDays(-1))}};
    return QJsonDocument(record).toJson(QJsonDocument::Compact);
}
