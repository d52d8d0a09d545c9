#include "ui/BrandLogo.h"

#include "ui/Symbols.h"

#include <QImageReader>
#include <QPixmap>

BrandLogo::BrandLogo(int height, QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("brandLogo"));
    setAccessibleName(QStringLiteral("Cuelark"));
    Symbols::registerResources();
    // Read as PNG outright: left to guess, Qt loads every image plugin (JPEG,
    // GIF, SVG...) to ask each whether it knows the file.
    QImageReader reader(QStringLiteral(":/images/Logo.png"), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (image.isNull() || image.height() == 0) {
        hide();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap = QPixmap::fromImage(image.scaledToHeight(qRound(height * ratio),
                                                             Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    setPixmap(pixmap);
    setFixedSize((pixmap.deviceIndependentSize()).toSize());
}
