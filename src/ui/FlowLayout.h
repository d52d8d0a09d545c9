#pragma once

#include <QLayout>

// Lays its items out in a row and wraps onto further rows what does not fit: a
// row of buttons that holds any translation at any font size instead of
// squeezing its buttons over each other. Each row is centred or, with
// Qt::AlignRight, pushed to the right edge.
class FlowLayout : public QLayout {
    Q_OBJECT
public:
    explicit FlowLayout(Qt::Alignment alignment = Qt::AlignHCenter, int spacing = 6);
    ~FlowLayout() override;

    void addItem(QLayoutItem *item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return arrange(QRect(0, 0, width, 0), false); }
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect &rect) override;

private:
    // Places the items in `rect` (or only measures) and returns the height used.
    int arrange(const QRect &rect, bool place) const;

    QList<QLayoutItem *> m_items;
    Qt::Alignment m_alignment;
    int m_spacing;
};
