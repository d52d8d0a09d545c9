#include "WebUrl.h"

#include <QHostAddress>

namespace {

bool isLoopbackHost(const QString &host)
{
    return host == u"localhost" || QHostAddress(host).isLoopback();
}

} // namespace

std::optional<QUrl> parseWebUrl(const QString &text)
{
    // Strict mode refuses what tolerant parsing would repair (spaces, stray
    // characters, bad percent escapes): such a text is not an address the
    // service meant.
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme();
    if (scheme == u"https" || (scheme == u"http" && isLoopbackHost(url.host())))
        return url;
    return std::nullopt;
}
