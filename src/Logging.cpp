#include "Logging.h"

// Critical is the lowest level on by default: warnings and debug lines stay
// off until a rule turns them on.
Q_LOGGING_CATEGORY(lcApi, "cuelark.api", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcAuth, "cuelark.auth", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcRefresh, "cuelark.refresh", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcNotify, "cuelark.notify", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcUpdates, "cuelark.updates", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcUi, "cuelark.ui", QtCriticalMsg)
