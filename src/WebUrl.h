#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Addresses that arrive from the service (a sign-in page, a download) are opened
// in the browser only when they are web pages: https, or http to a loopback host
// (the local stand-in service). Anything else (file:, javascript:, a custom
// scheme, a relative or malformed text) is treated as no address at all.
std::optional<QUrl> parseWebUrl(const QString &text);
