#pragma once

#include "AppState.h"

// Puts an AppState into any state directly, without a network, for widget tests.
struct AppStateTester {
    static void setAuthState(AppState &s, AppState::AuthState v) { s.setAuthState(v); }
    static void setUserName(AppState &s, std::optional<QString> v) { s.setUserName(std::move(v)); }
    static void setEvents(AppState &s, QList<DJEvent> v) { s.setEvents(std::move(v)); }
    static void setSelectedEventId(AppState &s, std::optional<qint64> v) { s.setSelectedEventId(v); }
    static void setRequests(AppState &s, QList<SongRequest> v) { s.setRequests(std::move(v)); }
    static void setTotalPending(AppState &s, qint64 v) { s.setTotalPending(v); }
    static void setLastUpdated(AppState &s, std::optional<QDateTime> v) { s.setLastUpdated(std::move(v)); }
    static void setLastRefreshFailed(AppState &s, bool v) { s.setLastRefreshFailed(v); }
    // The refresh loop as a session runs it, with the state's client as it is.
    static void startRefreshLoop(AppState &s) { s.m_refreshLoop.start(s.m_client); }
    static void setErrorMessage(AppState &s, std::optional<QString> v) { s.setErrorMessage(std::move(v)); }
};
