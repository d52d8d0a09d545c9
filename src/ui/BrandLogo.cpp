#include "ui/BrandLogo.h"

#include "ui/Symbols.h"

#include <QPixmap>

BrandLogo::BrandLogo(int height, QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("brandLogo"));
    setAccessibleName(QStringLiteral("Cuelark"));
    Symbols::registerResources();
    const QImage image(QStringLiteral(":/images/Logo.png"));
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
