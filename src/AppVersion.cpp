#include "AppVersion.h"

#include "AppConfig.h"

#include <QList>

#include <charconv>

namespace AppVersion {

QString shortVersion()
{
    const QString version = QString::fromUtf8(AppConfig::version);
    return version.isEmpty() ? QStringLiteral("0") : version;
}

namespace {

// An optional sign and one or more ASCII digits that fit in 64 bits; anything
// else (a letter, a space, a lone sign, an overflow) is 0 and keeps its place.
qint64 pieceValue(QStringView piece)
{
    const QStringView digits = piece.startsWith(u'+') || piece.startsWith(u'-') ? piece.mid(1) : piece;
    if (digits.isEmpty())
        return 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
    }
    // from_chars takes a minus sign (so the int64 minimum fits) but not a plus.
    const QByteArray ascii = (piece.startsWith(u'+') ? digits : piece).toLatin1();
    qint64 value = 0;
    const auto [end, error] = std::from_chars(ascii.cbegin(), ascii.cend(), value);
    return error == std::errc() && end == ascii.cend() ? value : 0;
}

QList<qint64> pieceValues(const QString &version)
{
    QList<qint64> values;
    for (const QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts))
        values.append(pieceValue(piece));
    return values;
}

} // namespace

int compare(const QString &a, const QString &b)
{
    const QList<qint64> left = pieceValues(a);
    const QList<qint64> right = pieceValues(b);
    const qsizetype count = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 x = left.value(i, 0);
        const qint64 y = right.value(i, 0);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

} // namespace AppVersion
