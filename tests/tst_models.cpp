#include "api/Errors.h"
#include "api/Models.h"

#include <QSet>
#include <QtTest>

#include <ctime>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

using Decode = std::function<void(const QByteArray &)>;

Decode decoderFor(const QString &record)
{
    static const QHash<QString, Decode> decoders{
        {u"events"_s, [](const QByteArray &body) { Models::decodeEvents(body); }},
        {u"requests"_s, [](const QByteArray &body) { Models::decodeRequests(body); }},
        {u"me"_s, [](const QByteArray &body) { Models::decodeMe(body); }},
        {u"authStart"_s, [](const QByteArray &body) { Models::decodeAuthStart(body); }},
        {u"authPoll"_s, [](const QByteArray &body) { Models::decodeAuthPoll(body); }},
    };
    return decoders.value(record);
}

QByteArray eventsBodyWithId(const QByteArray &idLiteral)
{
    return R"({"events":[{"id":)" + idLiteral + R"(,"name":"A","isActive":false,"startDate":"x"}]})";
}

const QDateTime referenceNow = QDateTime(QDate(2026, 3, 7), QTime(20, 0), Qt::UTC);

DJEvent eventStarting(const QString &startDate, std::optional<QString> endDate = std::nullopt)
{
    return DJEvent{.id = 1, .name = u"Friday Set"_s, .isActive = false, .startDate = startDate,
                   .endDate = std::move(endDate)};
}

} // namespace

class TestModels : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void decodesEventsVerbatim();
    void decodesOptionalMembers();
    void ignoresUnknownMembersWhateverTheirValue();
    void keepsIdsExact_data();
    void keepsIdsExact();
    void rejectsBrokenBodies_data();
    void rejectsBrokenBodies();
    void survivesHostileNesting();
    void encodesBodies();
    void comparesAndHashesRecords();
    void decidesLiveness_data();
    void decidesLiveness();
    void formatsDisplayDate_data();
    void formatsDisplayDate();
    void buildsPickerLabel();
};

void TestModels::initTestCase()
{
    // A fixed zone five hours behind UTC without daylight saving, and a default
    // locale that is not English, so that the menu date must pin both.
    qputenv("TZ", "XYZ+05");
    tzset();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestModels::decodesEventsVerbatim()
{
    const QByteArray body = R"({"events":[
        {"id":7,"name":"Friday \"Set\" \u00e9 \ud83c\udfb5 \/","isActive":true,
         "startDate":"2026-03-07T20:00:00.250Z","endDate":"not a date"},
        {"id":8,"name":"","isActive":false,"startDate":" 2026-03-07 "}
    ]})";
    const EventsResponse response = Models::decodeEvents(body);
    QCOMPARE(response.events.size(), 2);
    const DJEvent &first = response.events.at(0);
    QCOMPARE(first.id, 7);
    QCOMPARE(first.name, u"Friday \"Set\" \u00e9 \U0001F3B5 /"_s);
    QVERIFY(first.isActive);
    QCOMPARE(first.startDate, u"2026-03-07T20:00:00.250Z"_s);
    QCOMPARE(first.endDate, std::optional<QString>(u"not a date"_s));
    const DJEvent &second = response.events.at(1);
    QCOMPARE(second.id, 8);
    QCOMPARE(second.startDate, u" 2026-03-07 "_s);
    QVERIFY(!second.endDate.has_value());

    const RequestsResponse requests = Models::decodeRequests(R"({"totalPending":3,"requests":[
        {"id":1,"status":"played","songTitle":"Song","artistName":"Artist","createdAt":"yesterday"},
        {"id":2,"status":"Pending ","songTitle":"","artistName":"","createdAt":""}]})");
    QCOMPARE(requests.totalPending, 3);
    QCOMPARE(requests.requests.size(), 2);
    QCOMPARE(requests.requests.at(0).status, u"played"_s);
    QCOMPARE(requests.requests.at(0).createdAt, u"yesterday"_s);
    QCOMPARE(requests.requests.at(1).status, u"Pending "_s);
    QVERIFY(!requests.requests.at(1).isPending());

}

void TestModels::decodesOptionalMembers()
{
    QCOMPARE(Models::decodeEvents(R"({"events":[]})").events.size(), 0);
    QVERIFY(!Models::decodeEvents(R"({"events":[{"id":1,"name":"A","isActive":false,"startDate":"x","endDate":null}]})")
                 .events.at(0).endDate.has_value());

    QVERIFY(!Models::decodeMe(R"({"userId":"u","name":null})").name.has_value());
    QVERIFY(!Models::decodeMe(R"({"userId":"u"})").name.has_value());
    QCOMPARE(Models::decodeMe(R"({"userId":"u","name":""})").name, std::optional<QString>(QString()));
    // Of repeated keys the last one counts.
    QCOMPARE(Models::decodeMe(R"({"userId":"first","userId":"last"})").userId, u"last"_s);

    const AuthPollResponse pending = Models::decodeAuthPoll(R"({"status":"pending"})");
    QCOMPARE(pending.status, u"pending"_s);
    QVERIFY(!pending.token.has_value());
    QCOMPARE(Models::decodeAuthPoll(R"({"status":"complete","token":"t0k"})").token,
             std::optional<QString>(u"t0k"_s));
}

void TestModels::ignoresUnknownMembersWhateverTheirValue()
{
    // Numbers no integer or double can hold are fine where nobody reads them.
    const QByteArray body = R"({"extra":{"deep":[1e400,-0.5,123456789012345678901234567890]},
        "totalPending":0,"requests":[{"id":1,"status":"pending","songTitle":"t","artistName":"a",
        "createdAt":"c","rating":4.5,"id2":9223372036854775808,"tags":null}]})";
    const RequestsResponse response = Models::decodeRequests(body);
    QCOMPARE(response.requests.size(), 1);
    QVERIFY(response.requests.at(0).isPending());
}

void TestModels::keepsIdsExact_data()
{
    QTest::addColumn<QByteArray>("literal");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("zero") << "0"_ba << qint64(0);
    QTest::newRow("negative zero") << "-0"_ba << qint64(0);
    QTest::newRow("negative") << "-42"_ba << qint64(-42);
    QTest::newRow("2^53 + 1") << "9007199254740993"_ba << qint64(9007199254740993);
    QTest::newRow("int64 maximum") << "9223372036854775807"_ba << std::numeric_limits<qint64>::max();
    QTest::newRow("int64 minimum") << "-9223372036854775808"_ba << std::numeric_limits<qint64>::min();
}

void TestModels::keepsIdsExact()
{
    QFETCH(QByteArray, literal);
    QFETCH(qint64, expected);
    QCOMPARE(Models::decodeEvents(eventsBodyWithId(literal)).events.at(0).id, expected);
    QCOMPARE(Models::decodeRequests(R"({"requests":[],"totalPending":)" + literal + "}").totalPending,
             expected);
}

void TestModels::rejectsBrokenBodies_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("detail");

    const QByteArray validEvent = R"({"id":1,"name":"A","isActive":false,"startDate":"x"})";
    const auto events = [&](const QByteArray &second) {
        return R"({"events":[)" + validEvent + "," + second + "]}";
    };

    // The shape of the body.
    QTest::newRow("empty body") << u"events"_s << QByteArray() << u"malformed JSON at byte 0"_s;
    QTest::newRow("top-level array") << u"events"_s << "[]"_ba << u"expected a JSON object"_s;
    QTest::newRow("top-level string") << u"me"_s << R"("userId")"_ba << u"expected a JSON object"_s;
    QTest::newRow("trailing garbage") << u"authPoll"_s << R"({"status":"s"} x)"_ba << u"malformed JSON"_s;
    QTest::newRow("truncated") << u"events"_s << R"({"events":[)"_ba << u"malformed JSON"_s;
    QTest::newRow("trailing comma in object") << u"authPoll"_s << R"({"status":"s",})"_ba << u"malformed JSON"_s;
    QTest::newRow("trailing comma in array") << u"events"_s << events("") << u"malformed JSON"_s;

    // Text and number syntax, even in members nobody reads.
    QTest::newRow("raw newline in string") << u"authPoll"_s << "{\"status\":\"a\nb\"}"_ba << u"malformed JSON"_s;
    QTest::newRow("short unicode escape") << u"authPoll"_s << R"({"status":"\u41"})"_ba << u"malformed JSON"_s;
    QTest::newRow("lone high surrogate") << u"authPoll"_s << R"({"status":"\ud83c"})"_ba << u"malformed JSON"_s;
    QTest::newRow("invalid UTF-8") << u"authPoll"_s << "{\"status\":\"\xC3\x28\"}"_ba << u"malformed JSON"_s;
    QTest::newRow("UTF-8 encoded surrogate") << u"authPoll"_s << "{\"status\":\"\xED\xA0\x80\"}"_ba << u"malformed JSON"_s;
    QTest::newRow("leading zero") << u"authPoll"_s << R"({"status":"s","n":01})"_ba << u"malformed JSON"_s;
    QTest::newRow("empty fraction") << u"authPoll"_s << R"({"status":"s","n":1.})"_ba << u"malformed JSON"_s;
    QTest::newRow("NaN") << u"authPoll"_s << R"({"status":"s","n":NaN})"_ba << u"malformed JSON"_s;

    // Required members and types; one bad element fails the whole list.
    QTest::newRow("events missing") << u"events"_s << R"({"event":[]})"_ba << u"events: missing"_s;
    QTest::newRow("events not a list") << u"events"_s << R"({"events":{}})"_ba << u"events: expected a list"_s;
    QTest::newRow("element not an object") << u"events"_s << events("1") << u"events[1]: expected an object"_s;
    QTest::newRow("isActive missing")
        << u"events"_s << events(R"({"id":2,"name":"B","startDate":"x"})") << u"events[1].isActive: missing"_s;
    QTest::newRow("isActive a number")
        << u"events"_s << events(R"({"id":2,"name":"B","isActive":1,"startDate":"x"})")
        << u"events[1].isActive: expected a boolean"_s;
    QTest::newRow("name a number")
        << u"events"_s << events(R"({"id":2,"name":5,"isActive":true,"startDate":"x"})")
        << u"events[1].name: expected a string"_s;
    QTest::newRow("optional endDate of the wrong type")
        << u"events"_s << events(R"({"id":2,"name":"B","isActive":true,"startDate":"x","endDate":0})")
        << u"events[1].endDate: expected a string"_s;
    QTest::newRow("id a string") << u"events"_s << eventsBodyWithId(R"("5")") << u"events[0].id: expected a whole number"_s;
    QTest::newRow("id 5.5") << u"events"_s << eventsBodyWithId("5.5") << u"events[0].id: expected a whole number"_s;
    QTest::newRow("id 5.0") << u"events"_s << eventsBodyWithId("5.0") << u"events[0].id: expected a whole number"_s;
    QTest::newRow("id 1e3") << u"events"_s << eventsBodyWithId("1e3") << u"events[0].id: expected a whole number"_s;
    QTest::newRow("id just above int64")
        << u"events"_s << eventsBodyWithId("9223372036854775808") << u"events[0].id: number out of range"_s;
    QTest::newRow("id just below int64")
        << u"events"_s << eventsBodyWithId("-9223372036854775809") << u"events[0].id: number out of range"_s;
    QTest::newRow("totalPending missing")
        << u"requests"_s << R"({"requests":[]})"_ba << u"totalPending: missing"_s;
    QTest::newRow("request createdAt missing")
        << u"requests"_s
        << R"({"totalPending":1,"requests":[{"id":1,"status":"pending","songTitle":"t","artistName":"a"}]})"_ba
        << u"requests[0].createdAt: missing"_s;
    QTest::newRow("userId missing") << u"me"_s << R"({"name":"DJ"})"_ba << u"userId: missing"_s;
    QTest::newRow("status missing") << u"authPoll"_s << R"({"token":"t"})"_ba << u"status: missing"_s;
}

void TestModels::rejectsBrokenBodies()
{
    QFETCH(QString, record);
    QFETCH(QByteArray, body);
    QFETCH(QString, detail);
    try {
        decoderFor(record)(body);
        QFAIL("decoded a body that breaks the rules");
    } catch (const DecodingError &error) {
        const QString text = error.description();
        QVERIFY2(text.startsWith(u"The service sent an unexpected answer ("_s), qPrintable(text));
        QVERIFY2(text.contains(detail), qPrintable(text));
        QVERIFY2(text.size() < 120, qPrintable(text));
    }
}

void TestModels::survivesHostileNesting()
{
    const QByteArray deep = R"({"status":"s","x":)" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}";
    QVERIFY_THROWS_EXCEPTION(DecodingError, Models::decodeAuthPoll(deep));

    const QByteArray nestedButReasonable = R"({"status":"s","x":)" + QByteArray(100, '[') + QByteArray(100, ']') + "}";
    QCOMPARE(Models::decodeAuthPoll(nestedButReasonable).status, u"s"_s);
}

void TestModels::encodesBodies()
{
    QCOMPARE(Models::encodeStartBody(u"/glasses.html"_s), R"({"redirect":"/glasses.html"})"_ba);
    QCOMPARE(Models::encodeUpdateBody(RequestAction::approved), R"({"status":"approved"})"_ba);
    QCOMPARE(Models::encodeUpdateBody(RequestAction::rejected), R"({"status":"rejected"})"_ba);
    QCOMPARE(Models::encodeUpdateBody(RequestAction::pending), R"({"status":"pending"})"_ba);
}

void TestModels::comparesAndHashesRecords()
{
    const DJEvent event{.id = 1, .name = u"A"_s, .isActive = false, .startDate = u"s"_s, .endDate = std::nullopt};
    DJEvent withEmptyEnd = event;
    withEmptyEnd.endDate = QString();
    DJEvent otherName = event;
    otherName.name = u"B"_s;

    QCOMPARE(event, DJEvent(event));
    QCOMPARE(qHash(event, 7), qHash(DJEvent(event), 7));
    QVERIFY(event != withEmptyEnd);
    QVERIFY(event != otherName);
    QCOMPARE(QSet<DJEvent>({event, DJEvent(event), withEmptyEnd, otherName}).size(), 3);

    const SongRequest request{.id = 1, .status = u"pending"_s, .songTitle = u"t"_s, .artistName = u"a"_s,
                              .createdAt = u"c"_s};
    SongRequest played = request;
    played.status = u"played"_s;
    QCOMPARE(QSet<SongRequest>({request, SongRequest(request), played}).size(), 2);
}

void TestModels::decidesLiveness_data()
{
    QTest::addColumn<bool>("isActive");
    QTest::addColumn<QString>("startDate");
    QTest::addColumn<std::optional<QString>>("endDate");
    QTest::addColumn<bool>("live");

    const auto at = [](qint64 secondsFromNow) {
        return referenceNow.addSecs(secondsFromNow).toString(Qt::ISODate);
    };
    const std::optional<QString> noEnd;
    constexpr qint64 hour = 3600;

    QTest::newRow("active with empty start") << true << QString() << noEnd << true;
    QTest::newRow("started 11h59m ago") << false << at(-12 * hour + 60) << noEnd << true;
    QTest::newRow("started exactly 12h ago") << false << at(-12 * hour) << noEnd << true;
    QTest::newRow("started 12h and 1s ago") << false << at(-12 * hour - 1) << noEnd << false;
    QTest::newRow("starts in a minute") << false << at(60) << noEnd << false;
    QTest::newRow("start in another zone") << false << u"2026-03-07T21:00:00+01:00"_s << noEnd << true;
    QTest::newRow("ends now, started days ago") << false << at(-72 * hour) << std::optional(at(0)) << true;
    QTest::newRow("ended a second ago") << false << at(-hour) << std::optional(at(-1)) << false;
    QTest::newRow("end beyond the 12h window") << false << at(-20 * hour) << std::optional(at(hour)) << true;
    QTest::newRow("end a millisecond behind") << false << at(-hour)
                                              << std::optional(u"2026-03-07T19:59:59.999Z"_s) << false;
    QTest::newRow("end before start") << false << at(-hour) << std::optional(at(-2 * hour)) << false;
    QTest::newRow("unparseable end, past 12h") << false << at(-13 * hour) << std::optional(u"soon"_s) << false;
}

void TestModels::decidesLiveness()
{
    QFETCH(bool, isActive);
    QFETCH(QString, startDate);
    QFETCH(std::optional<QString>, endDate);
    QFETCH(bool, live);
    DJEvent event = eventStarting(startDate, endDate);
    event.isActive = isActive;
    QCOMPARE(event.isLive(referenceNow), live);
}

void TestModels::formatsDisplayDate_data()
{
    QTest::addColumn<QString>("startDate");
    QTest::addColumn<QString>("expected");

    QTest::newRow("local day, not the UTC day") << u"2026-03-08T03:00:00Z"_s << u"Mar 7, 2026"_s;
    QTest::newRow("offset and year change") << u"2026-12-31T23:30:00-01:00"_s << u"Dec 31, 2026"_s;
    QTest::newRow("unparseable") << u"2026-03-07"_s << u"\u2014"_s;
}

void TestModels::formatsDisplayDate()
{
    QFETCH(QString, startDate);
    QFETCH(QString, expected);
    QCOMPARE(eventStarting(startDate).displayDate(), expected);
}

void TestModels::buildsPickerLabel()
{
    const DJEvent live = eventStarting(u"2026-03-07T19:00:00Z"_s);
    QCOMPARE(live.pickerLabel(referenceNow), u"\u25CF Friday Set \u00B7 Mar 7, 2026"_s);
    QCOMPARE(live.pickerLabel(referenceNow.addDays(1)), u"Friday Set \u00B7 Mar 7, 2026"_s);
    QCOMPARE(eventStarting(u"later"_s).pickerLabel(referenceNow), u"Friday Set \u00B7 \u2014"_s);
}

QTEST_GUILESS_MAIN(TestModels)
#include "tst_models.moc"
