// Everything read from the service's text: records, dates, versions and web
// addresses. The fuzz targets keep their general rules; these rows pin meanings.

#include "AppVersion.h"
#include "WebUrl.h"
#include "api/Errors.h"
#include "api/ISO8601DateParser.h"
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

DJEvent eventStarting(const QString &startDate, OptText endDate = std::nullopt, bool isActive = false)
{
    return DJEvent{1, u"Friday Set"_s, isActive, startDate, std::move(endDate)};
}

} // namespace

class TestModels : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesRecordsVerbatim()
    {
        // Texts are kept as sent, escapes resolved, a leading U+FEFF (raw or escaped)
        // included; unknown members are ignored, even numbers no integer can hold.
        const EventsResponse events = Models::decodeEvents(R"({"extra":[1e300,123456789012345678901234567890],
            "events":[{"id":7,"name":"\u0022Set\u0022 \u00e9 \ud83c\udfb5 \/","isActive":true,
             "startDate":"\ufeff2026-03-07T20:00:00Z","endDate":"not a date","rating":4.5},)"
            "{\"id\":8,\"name\":\"\xEF\xBB\xBF\",\"isActive\":false,\"startDate\":\" 2026 \",\"endDate\":null}]}");
        QCOMPARE(events.events, (QList<DJEvent>{{7, u"\"Set\" \u00e9 \U0001F3B5 /"_s, true,
                                                 u"\uFEFF2026-03-07T20:00:00Z"_s, u"not a date"_s},
                                                {8, u"\uFEFF"_s, false, u" 2026 "_s, std::nullopt}}));
        QCOMPARE(Models::decodeRequests(R"({"totalPending":3,"requests":[{"id":2,"status":"Pending ","songTitle":"",
            "artistName":"","createdAt":""}]})").requests, (QList<SongRequest>{{2, u"Pending "_s, {}, {}, {}}}));
        QCOMPARE(Models::decodeMe(R"({"userId":"first","userId":"last","name":null})").userId, u"last"_s);
        QCOMPARE(Models::decodeAuthPoll(R"({"status":"complete","token":""})").token, OptText(QString()));

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
        const auto row = [](const char *name, const QByteArray &body, const char *detail) {
            QTest::newRow(name) << body << QString::fromLatin1(detail);
        };
        const QByteArray first = R"({"id":1,"name":"A","isActive":false,"startDate":"x"})";
        const auto second = [&](const QByteArray &members) {
            return R"({"events":[)" + first + R"(,{"id":2,"name":"B",)" + members + "}]}";
        };
        // Syntax, even in members nobody reads.
        row("empty body", {}, "malformed JSON");
        row("top-level array", "[]", "expected a JSON object");
        row("trailing garbage", R"({"events":[]} x)", "malformed JSON");
        row("lone surrogate", R"({"s":"\ud83c"})", "malformed JSON");
        row("invalid UTF-8", "{\"s\":\"\xC3\x28\"}", "malformed JSON");
        row("number beyond a double", R"({"n":1e400})", "number out of range");
        row("hostile nesting", "{\"x\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}",
            "nested too deeply");
        row("U+FEFF before a key", R"({"\ufeffevents":[]})", "events: missing");
        // Required members and types; one bad element fails the whole list.
        row("element not an object", R"({"events":[)" + first + ",1]}", "events[1]: expected an object");
        row("isActive missing", second(R"("startDate":"x")"), "events[1].isActive: missing");
        row("isActive a number", second(R"("isActive":1,"startDate":"x")"), "events[1].isActive: expected a boolean");
        row("endDate a number", second(R"("isActive":true,"startDate":"x","endDate":0)"), "events[1].endDate: expected a string");
        row("id a string", eventsBodyWithId(R"("5")"), "events[0].id: expected a whole number");
        row("id 5.0", eventsBodyWithId("5.0"), "events[0].id: expected a whole number");
        row("id just above int64", eventsBodyWithId("9223372036854775808"), "events[0].id: number out of range");
        row("id just below int64", eventsBodyWithId("-9223372036854775809"), "events[0].id: number out of range");
    }

    void rejectsBrokenBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, detail);
        try {
            Models::decodeEvents(body);
            QFAIL("decoded a body that breaks the rules");
        } catch (const DecodingError &error) {
            const QString text = error.description();
            QVERIFY2(text.startsWith(u"The service sent an unexpected answer ("_s + detail), qPrintable(text));
        }
    }

    void decidesLiveness_data()
    {
        QTest::addColumn<DJEvent>("event");
        QTest::addColumn<bool>("live");
        const auto at = [](qint64 seconds) { return referenceNow.addSecs(seconds).toString(Qt::ISODate); };
        constexpr qint64 hour = 3600;
        QTest::newRow("active with empty start") << eventStarting({}, {}, true) << true;
        QTest::newRow("started exactly 12h ago") << eventStarting(at(-12 * hour)) << true;
        QTest::newRow("started 12h and 1s ago") << eventStarting(at(-12 * hour - 1)) << false;
        QTest::newRow("ends now, started days ago") << eventStarting(at(-72 * hour), at(0)) << true;
        QTest::newRow("ended a second ago") << eventStarting(at(-hour), at(-1)) << false;
        QTest::newRow("unparseable end, past 12h") << eventStarting(at(-13 * hour), u"soon"_s) << false;
    }

    void decidesLiveness()
    {
        QFETCH(DJEvent, event);
        QTEST(event.isLive(referenceNow), "live");
    }

    void labelsEvents()
    {
        // The local day (not the UTC one), in English whatever the locale.
        qputenv("TZ", "XYZ+05");
        tzset();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(eventStarting(u"2026-03-08T03:00:00Z"_s).displayDate(), u"Mar 7, 2026"_s);
        QCOMPARE(eventStarting(u"2026-03-07"_s).pickerLabel(referenceNow), u"Friday Set \u00B7 \u2014"_s);
        QCOMPARE(eventStarting(u"2026-03-07T19:00:00Z"_s).pickerLabel(referenceNow),
                 u"\u25CF Friday Set \u00B7 Mar 7, 2026"_s);
    }

    void parsesInternetDateTimes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: refused
        const auto utc = [](int h, int m, int s, int ms = 0) {
            return QDateTime(QDate(2026, 3, 7), QTime(h, m, s, ms), Qt::UTC);
        };
        const QDateTime refused;
        QTest::newRow("fraction Z") << u"2026-03-07T20:00:00.25Z"_s << utc(20, 0, 0, 250);
        QTest::newRow("microseconds cut, not rounded") << u"2026-03-07T20:00:59.999999Z"_s << utc(20, 0, 59, 999);
        QTest::newRow("negative offset crosses the day") << u"2026-03-06T23:00:00-21:00"_s << utc(20, 0, 0);
        QTest::newRow("no zone (would be local time)") << u"2026-03-07T20:00:00"_s << refused;
        QTest::newRow("space for T") << u"2026-03-07 20:00:00Z"_s << refused;
        QTest::newRow("compact offset") << u"2026-03-07T20:00:00+0100"_s << refused;
        QTest::newRow("February 29, common year") << u"2026-02-29T20:00:00Z"_s << refused;
        QTest::newRow("offset hour 24") << u"2026-03-07T20:00:00+24:00"_s << refused;
        QTest::newRow("trailing newline") << u"2026-03-07T20:00:00Z\n"_s << refused;
        QTest::newRow("Arabic-Indic digits") << u"\u0662\u0660\u0662\u0666-03-07T20:00:00Z"_s << refused;
    }

    void parsesInternetDateTimes()
    {
        QFETCH(QString, text);
        QTEST(ISO8601DateParser::parse(text).value_or(QDateTime()), "expected");
    }

    void comparesVersions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        // Missing pieces, and pieces that are not a signed 64-bit number, count as 0.
        QTest::newRow("missing piece is 0") << u"1.2"_s << u"1.2.0"_s << 0;
        QTest::newRow("numbers, not text") << u"1.10"_s << u"1.9"_s << 1;
        QTest::newRow("suffix makes the piece 0") << u"1.2.3-beta"_s << u"1.2.3"_s << -1;
        QTest::newRow("empty equals 0, dots dropped") << u"..0."_s << u"0"_s << 0;
        QTest::newRow("plus sign allowed") << u"1.+2"_s << u"1.2"_s << 0;
        QTest::newRow("int64 maximum kept") << u"9223372036854775807"_s << u"9223372036854775806"_s << 1;
        QTest::newRow("int64 minimum kept") << u"-9223372036854775808"_s << u"-9223372036854775807"_s << -1;
        QTest::newRow("just beyond int64 is 0") << u"9223372036854775808"_s << u"0"_s << 0;
        QTest::newRow("non-ASCII digit is 0") << u"1.\u0662"_s << u"1.2"_s << -1;
    }

    void comparesVersions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(AppVersion::compare(a, b), "expected");
    }

    void acceptsOnlyWebUrls_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("https") << u"https://cuelark.app/glasses/sign-in?session=a1"_s << true;
        QTest::newRow("http to 127.0.0.1") << u"http://127.0.0.1:8080/auth"_s << true;
        QTest::newRow("http to localhost") << u"http://localhost:3000/"_s << true;
        QTest::newRow("http elsewhere") << u"http://cuelark.app/"_s << false;
        QTest::newRow("host that starts like loopback") << u"http://127.0.0.1.evil.example/"_s << false;
        QTest::newRow("user-info before another host") << u"http://127.0.0.1@evil.example/"_s << false;
        QTest::newRow("file") << u"file:///etc/passwd"_s << false;
        QTest::newRow("bad percent escape") << u"https://cuelark.app/%zz"_s << false;
    }

    void acceptsOnlyWebUrls()
    {
        QFETCH(QString, text);
        QTEST(parseWebUrl(text).has_value(), "accepted");
    }
};

QTEST_GUILESS_MAIN(TestModels)
#include "tst_models.moc"
