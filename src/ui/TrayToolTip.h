#pragma once

#include <QCoreApplication>
#include <QLocale>
#include <QString>

class AppState;

// What the tray says on hover, as plain text: "Cuelark — 5 pending · updated
// 10:41"; "Cuelark — signed out"; "Cuelark — signing in…"; "Cuelark — not
// updated since 10:41" or "… not updated yet" with the error on a second line.
class TrayToolTip {
    Q_DECLARE_TR_FUNCTIONS(TrayToolTip)
public:
    static QString text(const AppState &state, const QLocale &locale = QLocale());

    // The longest error text the tooltip shows.
    static constexpr qsizetype maxErrorLength = 160;
};
