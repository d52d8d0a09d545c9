#include "api/ISO8601DateParser.h"

#include <QRegularExpression>

namespace ISO8601DateParser {

std::optional<QDateTime> parse(const QString &text)
{
    // Internet date-time: full date, T, full time with optional fraction, and a
    // zone designator that must be present (a text without one is not a point in
    // time). RFC 3339 allows a lower-case t and z. [0-9] rather than \d, which
    // would also match non-ASCII digits.
    static const QRegularExpression internetDateTime(QRegularExpression::anchoredPattern(QStringLiteral(
        "([0-9]{4})-([0-9]{2})-([0-9]{2})[Tt]([0-9]{2}):([0-9]{2}):([0-9]{2})"
        "(?:\\.([0-9]+))?(?:([Zz])|([+-])([0-9]{2}):([0-9]{2}))")));

    const QRegularExpressionMatch match = internetDateTime.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const auto field = [&match](int group) { return match.capturedView(group).toInt(); };

    // Only milliseconds are kept; further digits are cut, never rounded, so a
    // time never moves into the next second.
    const int milliseconds = match.capturedView(7).left(3).toString().leftJustified(3, u'0').toInt();
    const QDate date(field(1), field(2), field(3));
    const QTime time(field(4), field(5), field(6), milliseconds);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;

    if (match.hasCaptured(8))
        return QDateTime(date, time, Qt::UTC);

    const int offsetHours = field(10);
    const int offsetMinutes = field(11);
    if (offsetHours > 23 || offsetMinutes > 59)
        return std::nullopt;
    const int sign = match.capturedView(9) == u"-" ? -1 : 1;
    const int offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    return QDateTime(date, time, Qt::OffsetFromUTC, offsetSeconds).toUTC();
}

} // namespace ISO8601DateParser
