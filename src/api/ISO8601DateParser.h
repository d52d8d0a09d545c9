#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// RFC 3339 internet date-time: 2026-03-07T20:00:00Z, 2026-03-07T20:00:00.250+01:00.
// The zone designator is required; a date alone or a space for the T is rejected.
namespace ISO8601DateParser {
std::optional<QDateTime> parse(const QString &text);
}
