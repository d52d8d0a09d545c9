#pragma once

class QNetworkAccessManager;

namespace Network {
// The one access manager of the process, created on first use on the main thread
// and owned by the application object, so connections are reused across calls.
QNetworkAccessManager *accessManager();
} // namespace Network
