#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QString>

// Our monochrome symbols (":/symbols/<name>.svg"), painted in one colour. The
// music-note list, which the tray icon shows from start-up, is drawn by code:
// the SVG machinery is loaded only once the panel first shows a symbol.
namespace Symbols {
inline const QString musicNoteList = QStringLiteral("music-note-list");
inline const QString copy = QStringLiteral("copy");
inline const QString approve = QStringLiteral("approve");
inline const QString reject = QStringLiteral("reject");

// Registers the compiled-in resources (symbols, logo, icon); idempotent.
void registerResources();

QImage image(const QString &name, const QColor &color, int pixelSize);
// Sharp at 1x and 2x device pixel ratios; built once per name, colour and size.
QIcon icon(const QString &name, const QColor &color, int size = 16);

// Decimal digits (any other character is skipped) as one filled outline,
// `height` pixels tall, its top-left corner at the origin. Filled from outlines
// made at build time (tools/digit-outlines) rather than drawn with a font or
// stroked here, so a count on the tray icon needs neither the font machinery
// nor the maths library's trigonometry.
QPainterPath digits(QStringView text, qreal height);
} // namespace Symbols
