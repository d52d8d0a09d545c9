#pragma once

#include <QString>
#include <QUrl>

// Pages of the service opened from the panel, under the service origin.
namespace AppLinks {
inline QString download(const QUrl &serviceUrl) { return serviceUrl.toString() + QLatin1String("/download/mac"); }
inline QString privacyPage(const QUrl &serviceUrl) { return serviceUrl.toString() + QLatin1String("/download/mac#privacy"); }
inline QString termsOfService(const QUrl &serviceUrl) { return serviceUrl.toString() + QLatin1String("/terms-of-service"); }
} // namespace AppLinks
