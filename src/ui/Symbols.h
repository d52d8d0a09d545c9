#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

// Our monochrome SVG symbols (":/symbols/<name>.svg"), painted in one colour.
namespace Symbols {
inline const QString musicNoteList = QStringLiteral("music-note-list");
inline const QString copy = QStringLiteral("copy");
inline const QString approve = QStringLiteral("approve");
inline const QString reject = QStringLiteral("reject");

// Registers the compiled-in resources (symbols, logo, icon); idempotent.
void registerResources();

QImage image(const QString &name, const QColor &color, int pixelSize);
// Sharp at 1x and 2x device pixel ratios.
QIcon icon(const QString &name, const QColor &color, int size = 16);
} // namespace Symbols
