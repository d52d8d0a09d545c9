#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QString>

#include <optional>

#include "ui/Theme.h"

class QVariantAnimation;

// Small building blocks shared by the panel's views.

// Makes `label` show plain text in one of the theme's text styles and colours.
void styleLabel(QLabel *label, const QString &objectName, Theme::TextStyle style, const QColor &color);

// A plain-text label in one of the theme's text styles and colours.
QLabel *makeLabel(const QString &objectName, Theme::TextStyle style, const QColor &color,
                  QWidget *parent);

// A label kept to `lines` lines of its width: longer text wraps and the rest is cut off.
void limitToLines(QLabel *label, int lines);

// One line of plain text, cut with an ellipsis when it does not fit. text()
// still returns the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Fills the ring `width` wide just inside `bounds` whose centre line is a
// rounded rectangle of `radius`: what stroking that line draws, without the
// stroker's cost on every paint.
void paintRoundedRing(QPainter &painter, const QRectF &bounds, qreal radius, qreal width, const QColor &color);

// A rounded outline, optionally filled, painted behind the frame's children.
class RoundedFrame : public QFrame {
    Q_OBJECT
public:
    RoundedFrame(qreal radius, std::optional<QColor> fill, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_radius;
    std::optional<QColor> m_fill;
};

// A one-pixel horizontal line in the divider colour.
class Divider : public QFrame {
    Q_OBJECT
public:
    explicit Divider(QWidget *parent = nullptr);
};

// A small indeterminate progress indicator; animates only while visible.
class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {18, 18}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QVariantAnimation *m_rotation;
};
