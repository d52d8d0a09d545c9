#pragma once

#include <QString>

namespace AppVersion {
// The running version as the build set it, or "0" when the build carries none.
QString shortVersion();
// Orders dotted versions piece by piece as signed 64-bit numbers ("1.10" > "1.9",
// "1.2" == "1.2.0"); a piece that is not a strict decimal counts as 0.
// Returns -1, 0 or +1 for a lower, equal or higher `a`.
int compare(const QString &a, const QString &b);
} // namespace AppVersion
