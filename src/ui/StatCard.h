#pragma once

#include "ui/Widgets.h"

// A counter card: a small upper-case title over a large coloured value.
class StatCard : public RoundedFrame {
    Q_OBJECT
public:
    StatCard(const QString &title, QWidget *parent = nullptr);
    void setValue(const QString &value, const QColor &color);

private:
    QLabel *m_value;
};
