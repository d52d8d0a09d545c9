#pragma once

#include <functional>

class QUrl;

// Hands a web page to the desktop's browser.
namespace Browser {
// Returns at once; `unopened` runs when no browser took the page.
void open(const QUrl &url, std::function<void()> unopened);
} // namespace Browser
