#include "AppVersion.h"
#include "WebUrl.h"
#include "api/ISO8601DateParser.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestDatesVersions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsesInternetDateTimes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: refused

        const auto utc = [](int h, int m, int s, int ms = 0) {
            return QDateTime(QDate(2026, 3, 7), QTime(h, m, s, ms), Qt::UTC);
        };
        const QDateTime refused;
        QTest::newRow("fraction Z") << u"2026-03-07T20:00:00.250Z"_s << utc(20, 0, 0, 250);
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
        QFETCH(QDateTime, expected);
        const std::optional<QDateTime> parsed = ISO8601DateParser::parse(text);
        QCOMPARE(parsed.has_value(), expected.isValid());
        if (parsed) {
            QCOMPARE(*parsed, expected);
            QCOMPARE(parsed->timeSpec(), Qt::UTC);
        }
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
        QFETCH(int, expected);
        QCOMPARE(AppVersion::compare(a, b), expected);
        QCOMPARE(AppVersion::compare(b, a), -expected);
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
        QFETCH(bool, accepted);
        QCOMPARE(parseWebUrl(text).has_value(), accepted);
    }
};

QTEST_GUILESS_MAIN(TestDatesVersions)
#include "tst_dates_versions.moc"
