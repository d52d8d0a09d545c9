#pragma once

#include <QLabel>

// The Cuelark logo at a given height, keeping its aspect ratio. Without a logo
// image it stays hidden and takes no space.
class BrandLogo : public QLabel {
    Q_OBJECT
public:
    explicit BrandLogo(int height, QWidget *parent = nullptr);
};
