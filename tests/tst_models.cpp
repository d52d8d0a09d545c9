#include "api/Errors.h"
#include "api/Models.h"

#include <QtTest>

#include <ctime>

using namespace Qt::StringLiterals;
using OptText = std::optional<QString>;

namespace {

QByteArray eventsBodyWithId(const QByteArray &idLiteral)
{
    return R"({"events":[{"id":)" + idLiteral + R"(,"name":"A","isActive":false,"startDate":"x"}]})";
}

const QDateTime referenceNow = QDateTime(QDate(2026, 3, 7), QTime(20, 0), Qt::UTC);

DJEvent eventStarting(const QString &startDate, OptText endDate = std::nullopt)
{
    return DJEvent{.id = 1, .name = u"Friday Set"_s, .isActive = false, .startDate = startDate,
                   .endDate = std::move(endDate)};
}

} // namespace

class TestModels : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // A fixed zone five hours behind UTC without daylight saving, and a default
        // locale that is not English, so that the menu date must pin both.
        qputenv("TZ", "XYZ+05");
        tzset();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void decodesRecordsVerbatim()
    {
        // Texts are kept as sent, escapes resolved, a leading U+FEFF (raw or escaped)
        // included; unknown members are ignored, even numbers no integer can hold.
        const EventsResponse events = Models::decodeEvents(R"({"extra":[1e300,123456789012345678901234567890],
            "events":[{"id":7,"name":"Friday \u0022Set\u0022 \u00e9 \ud83c\udfb5 \/","isActive":true,
             "startDate":"\ufeff2026-03-07T20:00:00.250Z","endDate":"not a date","rating":4.5},)"
            "{\"id\":8,\"name\":\"\xEF\xBB\xBF\",\"isActive\":false,\"startDate\":\" 2026 \",\"endDate\":null}]}");
        QCOMPARE(events.events, (QList<DJEvent>{{7, u"Friday \"Set\" \u00e9 \U0001F3B5 /"_s, true,
                                                 u"\uFEFF2026-03-07T20:00:00.250Z"_s, u"not a date"_s},
                                                {8, u"\uFEFF"_s, false, u" 2026 "_s, std::nullopt}}));

        const RequestsResponse requests = Models::decodeRequests(R"({"totalPending":3,"requests":[
            {"id":2,"status":"Pending ","songTitle":"","artistName":"","createdAt":""}]})");
        QCOMPARE(requests.totalPending, 3);
        QCOMPARE(requests.requests, (QList<SongRequest>{{2, u"Pending "_s, {}, {}, {}}}));
        QVERIFY(!requests.requests.at(0).isPending());

        QCOMPARE(Models::decodeMe(R"({"userId":"u"})").name, OptText());
        QCOMPARE(Models::decodeMe(R"({"userId":"u","name":""})").name, OptText(QString()));
        QCOMPARE(Models::decodeMe(R"({"userId":"first","userId":"last"})").userId, u"last"_s);
        QCOMPARE(Models::decodeAuthPoll(R"({"status":"complete","token":"t0k"})").token, OptText(u"t0k"_s));

        // Ids stay exact over the whole 64-bit range, beyond what a double holds.
        for (const qint64 id : {qint64(9007199254740993), std::numeric_limits<qint64>::min(),
                                std::numeric_limits<qint64>::max()})
            QCOMPARE(Models::decodeEvents(eventsBodyWithId(QByteArray::number(id))).events.at(0).id, id);

        // Nesting deep enough for any real answer reads; hostile depth is refused below.
        const QByteArray deep = QByteArray(200, '[') + QByteArray(200, ']');
        QCOMPARE(Models::decodeMe(R"({"userId":"u","x":)" + deep + "}").userId, u"u"_s);
    }

    void rejectsBrokenBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("detail");

        const auto events = [](const QByteArray &second) {
            return R"({"events":[{"id":1,"name":"A","isActive":false,"startDate":"x"},)" + second + "]}";
        };
        const auto row = [](const char *name, const QByteArray &body, const QString &detail) {
            QTest::newRow(name) << body << detail;
        };
        const QString malformed = u"malformed JSON"_s;
        const QString wholeNumber = u"events[0].id: expected a whole number"_s;
        const QString outOfRange = u"events[0].id: number out of range"_s;

        // Syntax, even in members nobody reads.
        row("empty body", {}, malformed);
        row("top-level array", "[]", u"expected a JSON object"_s);
        row("trailing garbage", R"({"events":[]} x)", malformed);
        row("trailing comma", events(""), malformed);
        row("raw newline in string", "{\"s\":\"a\nb\"}", malformed);
        row("lone high surrogate", R"({"s":"\ud83c"})", malformed);
        row("lone low surrogate", R"({"s":"\udc00"})", malformed);
        row("invalid UTF-8", "{\"s\":\"\xC3\x28\"}", malformed);
        row("UTF-8 encoded surrogate", "{\"s\":\"\xED\xA0\x80\"}", malformed);
        row("leading zero", R"({"n":01})", malformed);
        row("number beyond a double", R"({"n":1e400})", u"number out of range"_s);
        row("hostile nesting", "{\"x\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}",
            u"nested too deeply"_s);
        // A key with a leading U+FEFF is another key.
        row("U+FEFF before a key", R"({"\ufeffevents":[]})", u"events: missing"_s);

        // Required members and types; one bad element fails the whole list.
        row("events not a list", R"({"events":{}})", u"events: expected a list"_s);
        row("element not an object", events("1"), u"events[1]: expected an object"_s);
        row("isActive missing", events(R"({"id":2,"name":"B","startDate":"x"})"), u"events[1].isActive: missing"_s);
        row("name null", events(R"({"id":2,"name":null,"isActive":true,"startDate":"x"})"),
            u"events[1].name: missing"_s);
        row("isActive a number", events(R"({"id":2,"name":"B","isActive":1,"startDate":"x"})"),
            u"events[1].isActive: expected a boolean"_s);
        row("endDate a number", events(R"({"id":2,"name":"B","isActive":true,"startDate":"x","endDate":0})"),
            u"events[1].endDate: expected a string"_s);
        row("id a string", eventsBodyWithId(R"("5")"), wholeNumber);
        row("id 5.0", eventsBodyWithId("5.0"), wholeNumber);
        row("id 1e3", eventsBodyWithId("1e3"), wholeNumber);
        row("id just above int64", eventsBodyWithId("9223372036854775808"), outOfRange);
        row("id just below int64", eventsBodyWithId("-9223372036854775809"), outOfRange);
    }

    void rejectsBrokenBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, detail);
        try {
            Models::decodeEvents(body);
            QFAIL("decoded a body that breaks the rules");
        } catch (const DecodingError &error) {
            // The text names our own fields only, never echoing the body.
            const QString text = error.description();
            QVERIFY2(text.startsWith(u"The service sent an unexpected answer ("_s), qPrintable(text));
            QVERIFY2(text.contains(detail), qPrintable(text));
            QVERIFY2(text.size() < 120, qPrintable(text));
        }
    }

    void encodesBodies()
    {
        QCOMPARE(Models::encodeStartBody(u"/glasses.html"_s), R"({"redirect":"/glasses.html"})"_ba);
        QCOMPARE(Models::encodeUpdateBody(RequestAction::approved), R"({"status":"approved"})"_ba);
        QCOMPARE(Models::encodeUpdateBody(RequestAction::pending), R"({"status":"pending"})"_ba);
    }

    void decidesLiveness_data()
    {
        QTest::addColumn<bool>("isActive");
        QTest::addColumn<QString>("startDate");
        QTest::addColumn<OptText>("endDate");
        QTest::addColumn<bool>("live");

        const auto at = [](qint64 secondsFromNow) { return referenceNow.addSecs(secondsFromNow).toString(Qt::ISODate); };
        const OptText noEnd;
        constexpr qint64 hour = 3600;

        QTest::newRow("active with empty start") << true << QString() << noEnd << true;
        QTest::newRow("started now, in another zone") << false << u"2026-03-07T21:00:00+01:00"_s << noEnd << true;
        QTest::newRow("started exactly 12h ago") << false << at(-12 * hour) << noEnd << true;
        QTest::newRow("started 12h and 1s ago") << false << at(-12 * hour - 1) << noEnd << false;
        QTest::newRow("starts in a minute") << false << at(60) << noEnd << false;
        QTest::newRow("ends now, started days ago") << false << at(-72 * hour) << OptText(at(0)) << true;
        QTest::newRow("ended a second ago") << false << at(-hour) << OptText(at(-1)) << false;
        QTest::newRow("unparseable end, past 12h") << false << at(-13 * hour) << OptText(u"soon"_s) << false;
    }

    void decidesLiveness()
    {
        QFETCH(bool, isActive);
        QFETCH(QString, startDate);
        QFETCH(OptText, endDate);
        QFETCH(bool, live);
        DJEvent event = eventStarting(startDate, endDate);
        event.isActive = isActive;
        QCOMPARE(event.isLive(referenceNow), live);
    }

    void labelsEvents()
    {
        // The local day (not the UTC one), in English whatever the locale.
        QCOMPARE(eventStarting(u"2026-03-08T03:00:00Z"_s).displayDate(), u"Mar 7, 2026"_s);
        QCOMPARE(eventStarting(u"2026-03-07"_s).displayDate(), u"\u2014"_s);
        const DJEvent event = eventStarting(u"2026-03-07T19:00:00Z"_s);
        QCOMPARE(event.pickerLabel(referenceNow), u"\u25CF Friday Set \u00B7 Mar 7, 2026"_s);
        QCOMPARE(event.pickerLabel(referenceNow.addDays(1)), u"Friday Set \u00B7 Mar 7, 2026"_s);
    }
};

QTEST_GUILESS_MAIN(TestModels)
#include "tst_models.moc"
