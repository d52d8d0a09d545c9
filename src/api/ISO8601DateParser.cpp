#include "api/ISO8601DateParser.h"

namespace ISO8601DateParser {

namespace {

// Reads the text left to right; every step fails once one has failed. Only the
// ASCII digits count as digits.
struct Reader {
    QStringView text;
    qsizetype at = 0;
    bool ok = true;

    bool atDigit() const { return at < text.size() && text[at] >= u'0' && text[at] <= u'9'; }

    int digits(int count)
    {
        int value = 0;
        for (int i = 0; i < count && ok; ++i) {
            ok = atDigit();
            if (ok)
                value = value * 10 + (text[at++].unicode() - u'0');
        }
        return value;
    }

    // Whether the next character is one of `choices`; consumes it if so.
    bool take(QStringView choices)
    {
        if (!ok || at >= text.size() || !choices.contains(text[at]))
            return false;
        ++at;
        return true;
    }

    void expect(QStringView choices) { ok = ok && take(choices); }
};

} // namespace

std::optional<QDateTime> parse(const QString &text)
{
    // Internet date-time: full date, T, full time with optional fraction, and a
    // zone designator that must be present (a text without one is not a point in
    // time). RFC 3339 allows a lower-case t and z. Hand-written rather than a
    // regular expression: this runs on every refresh, and the idle app then
    // needs no regular-expression engine at all.
    Reader in{text};
    const int year = in.digits(4);
    in.expect(u"-");
    const int month = in.digits(2);
    in.expect(u"-");
    const int day = in.digits(2);
    in.expect(u"Tt");
    const int hour = in.digits(2);
    in.expect(u":");
    const int minute = in.digits(2);
    in.expect(u":");
    const int second = in.digits(2);
    // Only milliseconds are kept; further digits are cut, never rounded, so a
    // time never moves into the next second.
    int milliseconds = 0;
    if (in.take(u".")) {
        in.ok = in.atDigit();
        for (int place = 100; in.atDigit(); place /= 10)
            milliseconds += place * in.digits(1);
    }
    const bool utc = in.take(u"Zz");
    int offsetSeconds = 0;
    if (!utc) {
        const int sign = in.take(u"-") ? -1 : (in.expect(u"+"), 1);
        const int offsetHours = in.digits(2);
        in.expect(u":");
        const int offsetMinutes = in.digits(2);
        if (offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    }
    if (!in.ok || in.at != text.size())
        return std::nullopt;

    const QDate date(year, month, day);
    const QTime time(hour, minute, second, milliseconds);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    if (utc)
        return QDateTime(date, time, Qt::UTC);
    return QDateTime(date, time, Qt::OffsetFromUTC, offsetSeconds).toUTC();
}

} // namespace ISO8601DateParser
