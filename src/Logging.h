#pragma once

#include <QLoggingCategory>

// One category per part of the app. Warnings and worse print by default; debug
// and info lines on demand, e.g. QT_LOGGING_RULES="cuelark.*=true". Lines name
// calls, outcomes and state changes; never a token, a poll token or any other
// secret.
Q_DECLARE_LOGGING_CATEGORY(lcApi)     // cuelark.api: service calls and their outcomes
Q_DECLARE_LOGGING_CATEGORY(lcAuth)    // cuelark.auth: sign-in, sign-out, the secret store
Q_DECLARE_LOGGING_CATEGORY(lcRefresh) // cuelark.refresh: refresh cycles and event selection
Q_DECLARE_LOGGING_CATEGORY(lcNotify)  // cuelark.notify: desktop notifications and their actions
Q_DECLARE_LOGGING_CATEGORY(lcUpdates) // cuelark.updates: the release check and update alerts
Q_DECLARE_LOGGING_CATEGORY(lcUi)      // cuelark.ui: tray, panel and keyboard
Q_DECLARE_LOGGING_CATEGORY(lcDesktop) // cuelark.desktop: single instance, signals, browser, system events
