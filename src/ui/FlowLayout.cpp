#include "ui/FlowLayout.h"

#include <QWidget>

#include <algorithm>

FlowLayout::FlowLayout(Qt::Alignment alignment, int spacing)
    : m_alignment(alignment), m_spacing(spacing)
{
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout()
{
    qDeleteAll(m_items);
}

void FlowLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
}

QLayoutItem *FlowLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

QSize FlowLayout::minimumSize() const
{
    // As narrow as the widest item, each on a row of its own.
    QSize size;
    for (const QLayoutItem *item : m_items)
        size = size.expandedTo(item->minimumSize());
    return size.grownBy(contentsMargins());
}

QSize FlowLayout::sizeHint() const
{
    // Everything on one row.
    int width = 0;
    int height = 0;
    for (const QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        width += (width > 0 ? m_spacing : 0) + item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
    }
    return QSize(width, height).grownBy(contentsMargins());
}

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowLayout::arrange(const QRect &rect, bool place) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    QList<QLayoutItem *> row;
    int rowWidth = 0;
    int top = area.top();
    const auto finishRow = [&] {
        int rowHeight = 0;
        for (const QLayoutItem *item : row)
            rowHeight = std::max(rowHeight, item->sizeHint().height());
        const int room = std::max(0, area.width() - rowWidth);
        int x = area.left() + (m_alignment & Qt::AlignRight ? room : room / 2);
        for (QLayoutItem *item : row) {
            const QSize size = item->sizeHint().boundedTo(QSize(area.width(), rowHeight));
            if (place)
                item->setGeometry({QPoint(x, top + (rowHeight - size.height()) / 2), size});
            x += size.width() + m_spacing;
        }
        top += rowHeight + m_spacing;
        row.clear();
        rowWidth = 0;
    };
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        const int width = item->sizeHint().width();
        if (!row.isEmpty() && rowWidth + m_spacing + width > area.width())
            finishRow();
        rowWidth += (row.isEmpty() ? 0 : m_spacing) + width;
        row.append(item);
    }
    if (!row.isEmpty())
        finishRow();
    return top == area.top() ? 0 : top - m_spacing - rect.top() + contentsMargins().bottom();
}
