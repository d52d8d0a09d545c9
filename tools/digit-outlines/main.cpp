// Build-time helper: the tray badge's digits as filled outlines, written as a
// C++ header. Stroking a path with round caps and joins calls the maths
// library's hypot and atan2, whose tables and code the running app would
// otherwise map just to draw a count; it only fills these outlines.
//   cuelark-digit-outlines OUTPUT_HEADER
#include <QFile>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTextStream>

#include <cstdio>

namespace {

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

// The outline of a digit's strokes, its top-left corner at the origin.
QPainterPath outline(int digit)
{
    QPainterPathStroker stroker;
    stroker.setWidth(strokeWidth);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(digitStrokes(digit)).simplified().translated(strokeWidth / 2, strokeWidth / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: cuelark-digit-outlines OUTPUT_HEADER\n", stderr);
        return 64;
    }
    QString text;
    QTextStream out(&text);
    out.setRealNumberPrecision(17); // every double exactly
    out << "// Written by cuelark-digit-outlines at build time: do not edit.\n"
           "#pragma once\n\n"
           "#include <QPainterPath>\n\n"
           "#include <span>\n\n"
           "namespace DigitOutlines {\n\n"
           "struct Element {\n    QPainterPath::ElementType type;\n    qreal x, y;\n};\n\n"
        << "// From one digit's left edge to the next one's.\n"
        << "inline constexpr qreal advance = " << digitWidth + digitGap << ";\n"
        << "inline constexpr qreal height = " << digitHeight + strokeWidth << ";\n";
    Qt::FillRule fillRule = Qt::OddEvenFill;
    for (int digit = 0; digit <= 9; ++digit) {
        const QPainterPath path = outline(digit);
        fillRule = path.fillRule();
        out << "\ninline constexpr Element digit" << digit << "[] = {\n";
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element element = path.elementAt(i);
            out << "    {QPainterPath::ElementType(" << int(element.type) << "), " << element.x << ", " << element.y
                << "},\n";
        }
        out << "};\n";
    }
    out << "\ninline constexpr Qt::FillRule fillRule = Qt::FillRule(" << int(fillRule) << ");\n"
        << "inline constexpr std::span<const Element> digits[] = {digit0, digit1, digit2, digit3, digit4,\n"
           "                                                      digit5, digit6, digit7, digit8, digit9};\n\n"
           "} // namespace DigitOutlines\n";
    out.flush();
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) != text.toUtf8().size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
