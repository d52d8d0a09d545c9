#include "ui/Symbols.h"

#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPixmap>

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

namespace {

// On the 16-unit grid of the other symbols: three lines of a list and a
// quaver whose head is the ellipse the stem ends in.
QPainterPath musicNoteListPath()
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRoundedRect(QRectF(1, 3, 7, 1.5), 0.75, 0.75);
    path.addRoundedRect(QRectF(1, 6.5, 7, 1.5), 0.75, 0.75);
    path.addRoundedRect(QRectF(1, 10, 4.5, 1.5), 0.75, 0.75);
    path.addPolygon(QPolygonF{{11.2, 1.6}, {15, 0.8}, {15, 3.4}, {12.6, 3.9}, {12.6, 12}, {11.2, 10.4}});
    path.closeSubpath();
    path.addEllipse(QPointF(10.4, 12.08), 2.2, 1.8);
    return path;
}

// Digits on a grid 6 units wide and 10 tall, drawn as strokes 1.8 units wide.
constexpr qreal digitWidth = 6;
constexpr qreal digitHeight = 10;
constexpr qreal digitGap = 2.2;
constexpr qreal strokeWidth = 1.8;

QPainterPath digitStrokes(int digit)
{
    QPainterPath p;
    switch (digit) {
    case 0: p.addRoundedRect(QRectF(0, 0, 6, 10), 3, 3); break;
    case 1: p.moveTo(1.2, 2.2); p.lineTo(3.6, 0); p.lineTo(3.6, 10); break;
    case 2:
        p.moveTo(0.2, 3); p.cubicTo(0.2, -0.9, 5.8, -0.9, 5.8, 3);
        p.cubicTo(5.8, 5, 0, 7.4, 0, 10); p.lineTo(6, 10);
        break;
    case 3:
        p.moveTo(0.3, 1.8); p.cubicTo(1, -0.5, 5.8, -0.5, 5.6, 2.5);
        p.cubicTo(5.5, 4.4, 3.6, 4.8, 2.2, 4.8);
        p.cubicTo(6.4, 4.8, 6.4, 10, 3, 10); p.cubicTo(1.4, 10, 0.4, 9.2, 0, 8.2);
        break;
    case 4: p.moveTo(4.6, 10); p.lineTo(4.6, 0); p.lineTo(0, 7); p.lineTo(6, 7); break;
    case 5:
        p.moveTo(5.6, 0); p.lineTo(0.8, 0); p.lineTo(0.4, 4.6);
        p.cubicTo(1.2, 3.8, 2.2, 3.6, 3, 3.6); p.cubicTo(6.4, 3.6, 6.4, 10, 3, 10);
        p.cubicTo(1.5, 10, 0.5, 9.3, 0, 8.3);
        break;
    case 6: p.moveTo(5.4, 0.8); p.cubicTo(3, -0.8, 0, 0.8, 0, 6.6); p.addEllipse(QRectF(0, 3.6, 6, 6.4)); break;
    case 7: p.moveTo(0, 0); p.lineTo(6, 0); p.lineTo(2, 10); break;
    case 8: p.addEllipse(QRectF(0.5, 0, 5, 4.6)); p.addEllipse(QRectF(0, 4.6, 6, 5.4)); break;
    case 9: p.addEllipse(QRectF(0, 0, 6, 6.4)); p.moveTo(6, 3.4); p.cubicTo(6, 9.2, 3, 10.8, 0.6, 9.2); break;
    }
    return p;
}

QImage svgImage(const QString &name, int pixelSize)
{
    registerResources();
    // Through the image-format plugin, which brings in the SVG library when
    // the first symbol is read rather than at start-up; that plugin alone.
    QImageReader reader(QStringLiteral(":/symbols/%1.svg").arg(name), "svg");
    reader.setAutoDetectImageFormat(false);
    reader.setScaledSize(QSize(pixelSize, pixelSize));
    return reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

QImage image(const QString &name, const QColor &color, int pixelSize)
{
    QImage result;
    if (name == musicNoteList) {
        result = QImage(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
        result.fill(Qt::transparent);
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(pixelSize / 16.0, pixelSize / 16.0);
        painter.fillPath(musicNoteListPath(), Qt::black);
    } else {
        result = svgImage(name, pixelSize);
        if (result.isNull())
            return result;
    }
    // The symbols are drawn in black: keep their coverage, replace the colour.
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

QIcon icon(const QString &name, const QColor &color, int size)
{
    // A dashboard shows three symbols on each of up to eight rows, and is built
    // anew each time the panel opens.
    static QHash<QString, QIcon> built;
    const QString key = name + QLatin1Char('/') + QString::number(color.rgba(), 16) + QLatin1Char('/')
                        + QString::number(size);
    if (const auto found = built.constFind(key); found != built.cend())
        return *found;
    QIcon result;
    // Drawn at each usual scale of the desktop rather than resampled, which blurs
    // a 16-pixel symbol at 125 % and 150 %.
    for (const qreal scale : {1.0, 1.25, 1.5, 2.0}) {
        QPixmap pixmap = QPixmap::fromImage(image(name, color, qRound(size * scale)));
        pixmap.setDevicePixelRatio(scale);
        result.addPixmap(pixmap);
    }
    built.insert(key, result);
    return result;
}

QPainterPath digits(QStringView text, qreal height)
{
    QPainterPath strokes;
    qreal x = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            continue;
        strokes.addPath(digitStrokes(c.unicode() - u'0').translated(x, 0));
        x += digitWidth + digitGap;
    }
    QPainterPathStroker stroker;
    stroker.setWidth(strokeWidth);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    QPainterPath outline = stroker.createStroke(strokes).simplified();
    outline.translate(strokeWidth / 2, strokeWidth / 2);
    const qreal scale = height / (digitHeight + strokeWidth);
    return QTransform::fromScale(scale, scale).map(outline);
}

} // namespace Symbols
