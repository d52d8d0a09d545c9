#pragma once

#include <QString>

// Text from the service or the audience (names, titles, artists, error texts)
// made fit to show on one line: it can neither break the line nor reorder the
// text around it.
namespace DisplayText {

// Line breaks, tabs and other whitespace controls become spaces; every other
// control character, and half of a surrogate pair, becomes U+FFFD; bidirectional
// embeddings, overrides and isolates are dropped. Never longer than `text`.
QString line(const QString &text);

// line(), cut to at most `maxLength` characters (the last one an ellipsis) so
// that a huge text cannot make a label or a tooltip huge.
QString shortLine(const QString &text, qsizetype maxLength = 300);

} // namespace DisplayText
