#pragma once

#include <QCoreApplication>
#include <QString>

// The texts that appear in more than one place (the panel, the tray menu, a
// notification), so that each is translated once and reads the same everywhere.
// Every other text is translated by the class that shows it, through tr().
class Texts {
    Q_DECLARE_TR_FUNCTIONS(Texts)
public:
    static QString approve();
    static QString reject();
    static QString openApp();
    static QString quit();
    static QString newSongRequest();
};
