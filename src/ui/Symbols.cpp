#include "ui/Symbols.h"

#include "ui/DigitOutlines.h"

#include <QHash>
#include <QImageReader>
#include <QPainter>
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
    QPainterPath outline;
    outline.setFillRule(DigitOutlines::fillRule);
    qreal left = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            continue;
        const std::span<const DigitOutlines::Element> elements = DigitOutlines::digits[c.unicode() - u'0'];
        for (std::size_t i = 0; i < elements.size(); ++i) {
            const auto point = [&](std::size_t at) { return QPointF(left + elements[at].x, elements[at].y); };
            switch (elements[i].type) {
            case QPainterPath::MoveToElement: outline.moveTo(point(i)); break;
            case QPainterPath::LineToElement: outline.lineTo(point(i)); break;
            case QPainterPath::CurveToElement:
                outline.cubicTo(point(i), point(i + 1), point(i + 2));
                i += 2;
                break;
            case QPainterPath::CurveToDataElement: break;
            }
        }
        left += DigitOutlines::advance;
    }
    const qreal scale = height / DigitOutlines::height;
    return QTransform::fromScale(scale, scale).map(outline);
}

} // namespace Symbols
