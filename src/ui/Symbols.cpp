#include "ui/Symbols.h"

#include "ui/DigitOutlines.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <cmath>

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

// The shorter arc of a circle of `radius` from the path's current point to
// `to`, turning clockwise on screen or not, as SVG's "A r r 0 0 sweep x y"
// draws it (a radius too short for the chord grows to half of it). Two cubic
// Béziers of at most a quarter turn each, found without trigonometry.
void arcTo(QPainterPath &path, QPointF to, qreal radius, bool clockwise)
{
    const QPointF from = path.currentPosition();
    const QPointF chordMiddle = (from + to) / 2;
    const QPointF halfChord = to - chordMiddle;
    const qreal halfLength = std::sqrt(QPointF::dotProduct(halfChord, halfChord));
    radius = std::max(radius, halfLength);
    // Unit normal of the chord, pointing to its right on screen.
    const QPointF normal = QPointF(-halfChord.y(), halfChord.x()) / halfLength;
    const qreal side = clockwise ? 1 : -1;
    const QPointF centre = chordMiddle + side * std::sqrt(radius * radius - halfLength * halfLength) * normal;
    const QPointF arcMiddle = centre - side * radius * normal;
    // A quarter turn or less from a to b around the centre (Riškus's control points).
    const auto piece = [&](QPointF a, QPointF b) {
        a -= centre;
        b -= centre;
        const qreal q1 = QPointF::dotProduct(a, a);
        const qreal q2 = q1 + QPointF::dotProduct(a, b);
        const qreal k = 4.0 / 3.0 * (std::sqrt(2 * q1 * q2) - q2) / (a.x() * b.y() - a.y() * b.x());
        path.cubicTo(centre + a + k * QPointF(-a.y(), a.x()), centre + b + k * QPointF(b.y(), -b.x()), centre + b);
    };
    piece(from, arcMiddle);
    piece(arcMiddle, to);
}

// A ring with a shape cut out of it: strokes 1.6 units wide, traced from
// `start` by straight edges and round ends (arcs of the strokes' half-width).
struct Edge {
    QPointF to;
    bool roundEnd = false;
};
QPainterPath ringWithCutOut(QPointF start, std::initializer_list<Edge> edges)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addEllipse(QPointF(8, 8), 7.5, 7.5);
    path.moveTo(start);
    for (const Edge &edge : edges) {
        if (edge.roundEnd)
            arcTo(path, edge.to, 0.8, false);
        else
            path.lineTo(edge.to);
    }
    path.closeSubpath();
    return path;
}

// Two sheets: the front one an outlined rounded rectangle, the one behind
// showing only its left and bottom edges.
QPainterPath copyPath()
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addRoundedRect(QRectF(4, 1, 10, 11), 1.5, 1.5);
    path.addRoundedRect(QRectF(5.3, 2.3, 7.4, 8.4), 0.2, 0.2);
    path.moveTo(2, 5);
    path.lineTo(2, 13.5);
    arcTo(path, {3.5, 15}, 1.5, false);
    path.lineTo(10, 15);
    path.lineTo(10, 13.7);
    path.lineTo(3.5, 13.7);
    arcTo(path, {3.3, 13.5}, 0.2, true);
    path.lineTo(3.3, 5);
    path.closeSubpath();
    return path;
}

// The outline of the symbol `name` on the 16-unit grid, or an empty path.
const QPainterPath &outline(const QString &name)
{
    static const QHash<QString, QPainterPath> outlines{
        {musicNoteList, musicNoteListPath()},
        // A tick.
        {approve, ringWithCutOut({11.6, 5.1}, {{{10.5, 5.2}, true}, {{7, 9.4}}, {{5.5, 7.9}}, {{4.4, 9.1}, true},
                                               {{6.5, 11.1}}, {{7.7, 11}, true}, {{11.7, 6.2}}, {{11.6, 5.1}, true}})},
        // A cross.
        {reject, ringWithCutOut({5.6, 4.5}, {{{4.5, 5.6}, true}, {{6.9, 8}}, {{4.5, 10.4}}, {{5.6, 11.5}, true},
                                             {{8, 9.1}}, {{10.4, 11.5}}, {{11.5, 10.4}, true}, {{9.1, 8}},
                                             {{11.5, 5.6}}, {{10.4, 4.5}, true}, {{8, 6.9}}})},
        {copy, copyPath()},
    };
    static const QPainterPath none;
    const auto found = outlines.constFind(name);
    return found == outlines.cend() ? none : *found;
}

// Draws an icon when it is first painted at a size and scale, for that size
// and scale only: a 16-pixel symbol scaled from another size blurs.
class DrawnIconEngine : public QIconEngine {
public:
    DrawnIconEngine(std::function<QImage(int)> draw, QList<QSize> offered)
        : m_draw(std::move(draw)), m_offered(std::move(offered))
    {
    }

    QIconEngine *clone() const override { return new DrawnIconEngine(*this); }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return m_offered; }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return {};
        QPixmap &drawn = m_drawn[side];
        if (drawn.isNull())
            drawn = QPixmap::fromImage(m_draw(side));
        if (mode == QIcon::Normal)
            return drawn;
        // Disabled, active and selected looks are the style's, as for any icon.
        QStyleOption option;
        option.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, drawn, &option);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device()->devicePixelRatioF();
        QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
        drawn.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, drawn);
    }

private:
    std::function<QImage(int)> m_draw;
    QList<QSize> m_offered;
    QHash<int, QPixmap> m_drawn; // by side in device pixels
};

} // namespace

QImage image(const QString &name, const QColor &color, int pixelSize)
{
    const QPainterPath &path = outline(name);
    if (path.isEmpty() || pixelSize <= 0)
        return {};
    QImage result(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixelSize / 16.0, pixelSize / 16.0);
    painter.fillPath(path, color);
    return result;
}

QIcon icon(const QString &name, const QColor &color)
{
    // A dashboard shows three symbols on each of up to eight rows: the rows
    // share one icon, and so its drawings, per symbol and colour.
    static QHash<QString, QIcon> built;
    const QString key = name + QLatin1Char('/') + QString::number(color.rgba(), 16);
    if (const auto found = built.constFind(key); found != built.cend())
        return *found;
    return *built.insert(key, drawnIcon([name, color](int side) { return image(name, color, side); }));
}

QIcon drawnIcon(std::function<QImage(int)> draw, QList<QSize> offered)
{
    return QIcon(new DrawnIconEngine(std::move(draw), std::move(offered)));
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
