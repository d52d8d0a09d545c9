#include "ui/Theme.h"

#include <QApplication>
#include <QStyleFactory>

#include <algorithm>

namespace Theme {

QColor softRed()
{
    return {255, 105, 97};
}

QFont font(TextStyle style)
{
    QFont result = QApplication::font();
    const qreal base = result.pointSizeF() > 0 ? result.pointSizeF() : 10.0;
    qreal size = base;
    switch (style) {
    case TextStyle::caption2: size = base - 2.0; break;
    case TextStyle::caption: size = base - 1.0; break;
    case TextStyle::callout: size = base; break;
    case TextStyle::title2: size = base + 5.0; break;
    }
    // Tiny desktop fonts must not make captions unreadable.
    result.setPointSizeF(std::max<qreal>(size, 6.5));
    result.setWeight(QFont::Normal);
    return result;
}

QPalette darkPalette()
{
    const QColor text(241, 245, 249);
    const QColor button(40, 52, 72);
    QPalette palette;
    palette.setColor(QPalette::Window, cardBackground);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(11, 17, 32));
    palette.setColor(QPalette::AlternateBase, cardBorder);
    palette.setColor(QPalette::ToolTipBase, cardBorder);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, secondaryText);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, red);
    palette.setColor(QPalette::Light, button.lighter(130));
    palette.setColor(QPalette::Midlight, button.lighter(115));
    palette.setColor(QPalette::Mid, cardBorder);
    palette.setColor(QPalette::Dark, QColor(8, 12, 24));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, purpleBase);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, purple);
    palette.setColor(QPalette::LinkVisited, purple);
    // Dimmer than enabled text, yet still readable on a button face.
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, secondaryText);
    return palette;
}

void applyDarkAppearance(QApplication &app)
{
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    app.setPalette(darkPalette());
}

} // namespace Theme
