#include "ui/Symbols.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Q_INIT_RESOURCE declares its function where it is used: outside any namespace.
static void initCompiledResources()
{
    Q_INIT_RESOURCE(cuelark);
}

namespace Symbols {

// The resources live in a static library: nothing references them, so they
// must be registered by hand before the first lookup.
void registerResources()
{
    static const bool registered = [] {
        initCompiledResources();
        return true;
    }();
    Q_UNUSED(registered);
}

QImage image(const QString &name, const QColor &color, int pixelSize)
{
    QImage result(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    registerResources();
    QSvgRenderer renderer(QStringLiteral(":/symbols/%1.svg").arg(name));
    QPainter painter(&result);
    renderer.render(&painter);
    // The SVGs are drawn in black: keep their coverage, replace the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

QIcon icon(const QString &name, const QColor &color, int size)
{
    QIcon result;
    for (const int scale : {1, 2}) {
        QPixmap pixmap = QPixmap::fromImage(image(name, color, size * scale));
        pixmap.setDevicePixelRatio(scale);
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace Symbols
