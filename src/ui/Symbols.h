#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QString>

#include <functional>

// Our monochrome symbols, painted in one colour. Each is an outline drawn by
// code on a 16-unit grid: no image file is read and no image plugin loaded.
namespace Symbols {
inline const QString musicNoteList = QStringLiteral("music-note-list");
inline const QString copy = QStringLiteral("copy");
inline const QString approve = QStringLiteral("approve");
inline const QString reject = QStringLiteral("reject");

// Registers the compiled-in resources (the logo); idempotent.
void registerResources();

// The symbol `name` filling a square of `pixelSize`; null for an unknown name.
QImage image(const QString &name, const QColor &color, int pixelSize);
// Drawn for each size and device pixel ratio it is first painted at, then kept;
// one icon per name and colour.
QIcon icon(const QString &name, const QColor &color);
// An icon `draw` draws at each size in device pixels (the side of a square) it
// is first painted or asked for at, then keeps; it offers `offered` to those
// that ask which sizes it has.
QIcon drawnIcon(std::function<QImage(int side)> draw, QList<QSize> offered = {});

// Decimal digits (any other character is skipped) as one filled outline,
// `height` pixels tall, its top-left corner at the origin. Filled from outlines
// made at build time (tools/digit-outlines) rather than drawn with a font or
// stroked here, so a count on the tray icon needs neither the font machinery
// nor the maths library's trigonometry.
QPainterPath digits(QStringView text, qreal height);
} // namespace Symbols
