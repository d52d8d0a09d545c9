#pragma once

#include <QString>
#include <QStringList>

// A modal alert: title, body and buttons in order (the first one the default).
struct Alert {
    QString title;
    QString body;
    QStringList buttons;
};
