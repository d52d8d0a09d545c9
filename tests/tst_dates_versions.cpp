#include "AppVersion.h"
#include "WebUrl.h"
#include "api/ISO8601DateParser.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestDatesVersions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsesInternetDateTimes_data();
    void parsesInternetDateTimes();
    void rejectsOtherDateTexts_data();
    void rejectsOtherDateTexts();
    void comparesVersions_data();
    void comparesVersions();
    void acceptsOnlyWebUrls_data();
    void acceptsOnlyWebUrls();
};

void TestDatesVersions::parsesInternetDateTimes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");

    const auto utc = [](int h, int m, int s, int ms = 0) {
        return QDateTime(QDate(2026, 3, 7), QTime(h, m, s, ms), Qt::UTC);
    };
    QTest::newRow("plain Z") << u"2026-03-07T20:00:00Z"_s << utc(20, 0, 0);
    QTest::newRow("fraction Z") << u"2026-03-07T20:00:00.250Z"_s << utc(20, 0, 0, 250);
    QTest::newRow("microseconds cut, not rounded")
        << u"2026-03-07T20:00:59.999999Z"_s << utc(20, 0, 59, 999);
    QTest::newRow("positive offset") << u"2026-03-07T21:30:00+01:30"_s << utc(20, 0, 0);
    QTest::newRow("negative offset crosses the day")
        << u"2026-03-06T23:00:00-21:00"_s << utc(20, 0, 0);
    QTest::newRow("lower-case t and z") << u"2026-03-07t20:00:00z"_s << utc(20, 0, 0);
    QTest::newRow("leap day") << u"2024-02-29T00:00:00Z"_s
                              << QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC);
}

void TestDatesVersions::parsesInternetDateTimes()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const std::optional<QDateTime> parsed = ISO8601DateParser::parse(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(parsed->toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
    QCOMPARE(parsed->timeSpec(), Qt::UTC);
}

void TestDatesVersions::rejectsOtherDateTexts_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("date alone") << u"2026-03-07"_s;
    QTest::newRow("space for T") << u"2026-03-07 20:00:00Z"_s;
    QTest::newRow("no zone (would be local time)") << u"2026-03-07T20:00:00"_s;
    QTest::newRow("no zone with fraction") << u"2026-03-07T20:00:00.250"_s;
    QTest::newRow("no seconds") << u"2026-03-07T20:00Z"_s;
    QTest::newRow("compact offset") << u"2026-03-07T20:00:00+0100"_s;
    QTest::newRow("month 13") << u"2026-13-07T20:00:00Z"_s;
    QTest::newRow("February 30") << u"2026-02-30T20:00:00Z"_s;
    QTest::newRow("February 29, common year") << u"2026-02-29T20:00:00Z"_s;
    QTest::newRow("hour 24") << u"2026-03-07T24:00:00Z"_s;
    QTest::newRow("second 61") << u"2026-03-07T20:00:61Z"_s;
    QTest::newRow("offset hour 24") << u"2026-03-07T20:00:00+24:00"_s;
    QTest::newRow("trailing newline") << u"2026-03-07T20:00:00Z\n"_s;
    QTest::newRow("Arabic-Indic digits") << u"\u0662\u0660\u0662\u0666-03-07T20:00:00Z"_s;
}

void TestDatesVersions::rejectsOtherDateTexts()
{
    QFETCH(QString, text);
    QVERIFY(!ISO8601DateParser::parse(text).has_value());
}

void TestDatesVersions::comparesVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    QTest::newRow("missing piece is 0") << u"1.2"_s << u"1.2.0"_s << 0;
    QTest::newRow("shorter is lower") << u"1.2"_s << u"1.2.1"_s << -1;
    QTest::newRow("numbers, not text") << u"1.10"_s << u"1.9"_s << 1;
    QTest::newRow("first piece decides") << u"2"_s << u"1.99.99"_s << 1;
    QTest::newRow("leading zeros") << u"01.2"_s << u"1.2"_s << 0;
    QTest::newRow("suffix makes the piece 0") << u"1.2.3-beta"_s << u"1.2.3"_s << -1;
    QTest::newRow("leading v makes the piece 0") << u"v1.3"_s << u"1.2"_s << -1;
    QTest::newRow("doubled and trailing dots dropped") << u"1..2."_s << u"1.2"_s << 0;
    QTest::newRow("two empty strings") << QString() << QString() << 0;
    QTest::newRow("empty equals 0") << QString() << u"0"_s << 0;
    QTest::newRow("empty below 0.1") << QString() << u"0.1"_s << -1;
    QTest::newRow("negative piece below missing 0") << u"1.-1"_s << u"1"_s << -1;
    QTest::newRow("plus sign allowed") << u"1.+2"_s << u"1.2"_s << 0;
    QTest::newRow("sign alone is 0") << u"1.+"_s << u"1"_s << 0;
    QTest::newRow("overflow is 0") << u"1.99999999999999999999"_s << u"1"_s << 0;
    QTest::newRow("int64 maximum kept") << u"9223372036854775807"_s << u"9223372036854775806"_s << 1;
    QTest::newRow("int64 minimum kept") << u"-9223372036854775808"_s << u"-9223372036854775807"_s << -1;
    QTest::newRow("just beyond int64 is 0") << u"9223372036854775808"_s << u"0"_s << 0;
    QTest::newRow("trailing space is 0") << u"1.2 "_s << u"1.2"_s << -1;
    QTest::newRow("non-ASCII digit is 0") << u"1.\u0662"_s << u"1.2"_s << -1;
    QTest::newRow("release above missing version") << u"0.0.1"_s << u"0"_s << 1;
}

void TestDatesVersions::comparesVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(AppVersion::compare(a, b), expected);
    QCOMPARE(AppVersion::compare(b, a), -expected);
}

void TestDatesVersions::acceptsOnlyWebUrls_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("https") << u"https://cuelark.app/glasses/sign-in?session=a1"_s << true;
    QTest::newRow("upper-case scheme") << u"HTTPS://cuelark.app/"_s << true;
    QTest::newRow("http to 127.0.0.1") << u"http://127.0.0.1:8080/auth"_s << true;
    QTest::newRow("http to localhost") << u"http://localhost:3000/"_s << true;
    QTest::newRow("http to [::1]") << u"http://[::1]:3000/"_s << true;

    QTest::newRow("http elsewhere") << u"http://cuelark.app/"_s << false;
    QTest::newRow("http to a host that starts like loopback") << u"http://127.0.0.1.evil.example/"_s << false;
    QTest::newRow("user-info before another host") << u"http://127.0.0.1@evil.example/"_s << false;
    QTest::newRow("http to a localhost subdomain") << u"http://localhost.evil.example/"_s << false;
    QTest::newRow("file") << u"file:///etc/passwd"_s << false;
    QTest::newRow("javascript") << u"javascript:alert(1)"_s << false;
    QTest::newRow("data") << u"data:text/html,<b>hi</b>"_s << false;
    QTest::newRow("custom scheme") << u"cuelark://open"_s << false;
    QTest::newRow("relative path") << u"/glasses.html"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("https without host") << u"https:///path"_s << false;
    QTest::newRow("leading space") << u" https://cuelark.app/"_s << false;
    QTest::newRow("space inside") << u"https://cue lark.app/"_s << false;
    QTest::newRow("bad percent escape") << u"https://cuelark.app/%zz"_s << false;
}

void TestDatesVersions::acceptsOnlyWebUrls()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    const std::optional<QUrl> url = parseWebUrl(text);
    QCOMPARE(url.has_value(), accepted);
    if (accepted)
        QVERIFY(url->isValid());
}

QTEST_GUILESS_MAIN(TestDatesVersions)
#include "tst_dates_versions.moc"
