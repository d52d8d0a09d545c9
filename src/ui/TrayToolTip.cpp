#include "ui/TrayToolTip.h"

#include "AppState.h"
#include "DisplayText.h"

QString TrayToolTip::text(const AppState &state, const QLocale &locale)
{
    const auto time = [&](const QDateTime &at) { return locale.toString(at.toLocalTime().time(), QLocale::ShortFormat); };
    const std::optional<QDateTime> &updated = state.lastUpdated();
    switch (state.authState()) {
    case AppState::AuthState::signedOut:
        return tr("Cuelark — signed out");
    case AppState::AuthState::waitingForBrowser:
        //: The user has to finish signing in in the web browser.
        return tr("Cuelark — signing in…");
    case AppState::AuthState::signedIn:
        break;
    }
    if (state.lastRefreshFailed()) {
        //: %1 is the time of the last successful refresh; the error follows on a second line.
        const QString headline = updated ? tr("Cuelark — not updated since %1").arg(time(*updated))
                                         : tr("Cuelark — not updated yet");
        return headline + QLatin1Char('\n')
            + DisplayText::shortLine(state.errorMessage().value_or(QString()), maxErrorLength);
    }
    if (!updated)
        return tr("Cuelark — not updated yet");
    //: %n is the number of pending song requests, %1 the time of the last refresh.
    return tr("Cuelark — %n pending · updated %1", nullptr, DisplayText::pluralCount(state.totalPending())).arg(time(*updated));
}
