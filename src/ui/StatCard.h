#pragma once

#include "ui/Widgets.h"

// A counter card: a small upper-case title over a large coloured value.
class StatCard : public RoundedFrame {
    Q_OBJECT
public:
    StatCard(const QString &title, QWidget *parent = nullptr);
    // `spoken` is what a screen reader says for the card ("7 pending"), if not the value.
    void setValue(const QString &value, const QColor &color, const QString &spoken = {});

private:
    QLabel *m_value;
};
