#pragma once

#include <QLabel>

// The Cuelark logo, compiled into the program, at a given height, keeping its
// aspect ratio. Should the image not load it stays hidden and takes no space.
class BrandLogo : public QLabel {
    Q_OBJECT
public:
    explicit BrandLogo(int height, QWidget *parent = nullptr);
};
