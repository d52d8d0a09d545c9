#include "desktop/TrayHints.h"

namespace TrayHints {

std::optional<QColor> trayForeground()
{
    return std::nullopt;
}

} // namespace TrayHints
