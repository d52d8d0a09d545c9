#include "desktop/Browser.h"

#include <QDesktopServices>
#include <QUrl>

namespace Browser {

void open(const QUrl &url, std::function<void()> unopened)
{
    if (!QDesktopServices::openUrl(url))
        unopened();
}

} // namespace Browser
