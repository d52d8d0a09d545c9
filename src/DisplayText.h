#pragma once

#include <QString>

// Text from the service or the audience (names, titles, artists, error texts)
// made fit to show: it can neither break the line nor reorder the text around
// it, and a tooltip shows it literally. Every place that shows such text goes
// through here.
namespace DisplayText {

// Line breaks, tabs and other whitespace controls become spaces; every other
// control character, and half of a surrogate pair, becomes U+FFFD; bidirectional
// embeddings, overrides and isolates are dropped. Never longer than `text`.
QString line(const QString &text);

// line(), cut to at most `maxLength` characters (the last one an ellipsis) so
// that a huge text cannot make a label or a tooltip huge.
QString shortLine(const QString &text, qsizetype maxLength = 300);

// How a tooltip lays out a line longer than the tooltip is wide.
enum class Wrap { wrapped, keepLines };

// A tooltip that shows `text` literally, line by line: Qt renders tooltips that
// look like HTML as rich text, so each line (line()) is escaped and the whole
// marked as rich text. Empty for an empty text, so that no empty tooltip pops
// up. A text that may be long is cut with shortLine() first.
QString toolTip(const QString &text, Wrap wrap = Wrap::wrapped);

// A count from the service as tr() takes it for its plural forms: an int, and
// never negative (Qt leaves "%n" unwritten for a negative count).
int pluralCount(qint64 count);

} // namespace DisplayText
