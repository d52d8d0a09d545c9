#include "Logging.h"

// A warning is something the user may need to know about (a failed call, a
// secret store that keeps nothing), so it prints without being asked for.
Q_LOGGING_CATEGORY(lcApi, "cuelark.api", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAuth, "cuelark.auth", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRefresh, "cuelark.refresh", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNotify, "cuelark.notify", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUpdates, "cuelark.updates", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "cuelark.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDesktop, "cuelark.desktop", QtWarningMsg)
