#include "DisplayText.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace {

bool isBidiControl(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

namespace DisplayText {

QString line(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isBidiControl(c.unicode()))
            continue;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            result.append(c).append(text.at(++i));
        } else if (c.isSurrogate()) {
            result.append(QChar::ReplacementCharacter);
        } else if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
                   || c.category() == QChar::Separator_Paragraph) {
            result.append(c.isSpace() ? QChar(u' ') : QChar(QChar::ReplacementCharacter));
        } else {
            result.append(c);
        }
    }
    return result;
}

QString shortLine(const QString &text, qsizetype maxLength)
{
    if (text.size() <= maxLength)
        return line(text);
    // Only the part that is shown is cleaned; a surrogate pair is never split.
    qsizetype keep = maxLength - 1;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    return line(text.left(keep)) + QChar(0x2026);
}

QString toolTip(const QString &text, Wrap wrap)
{
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &each : lines)
        each = line(each).toHtmlEscaped();
    // The tray's tooltip keeps its few lines as they are rather than wrapping
    // them into a narrow column; a widget's tooltip wraps a long title.
    const QString open = wrap == Wrap::keepLines ? QStringLiteral("<p style='white-space:pre'>") : QStringLiteral("<qt>");
    const QString close = wrap == Wrap::keepLines ? QStringLiteral("</p>") : QStringLiteral("</qt>");
    return open + lines.join(QLatin1String("<br>")) + close;
}

int pluralCount(qint64 count)
{
    return int(std::clamp<qint64>(count, 0, std::numeric_limits<int>::max()));
}

} // namespace DisplayText
