#include "desktop/TrayHints.h"

#include "Logging.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

template <typename Reply>
using XcbReply = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t *connection, const QByteArray &name)
{
    const XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, true, name.size(), name.constData()), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

namespace TrayHints {

std::optional<QColor> trayForeground()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return std::nullopt;
    // The tray of the first screen: the one Qt's tray icon docks in.
    const xcb_atom_t selection = atom(connection, QByteArrayLiteral("_NET_SYSTEM_TRAY_S0"));
    const xcb_atom_t colours = atom(connection, QByteArrayLiteral("_NET_SYSTEM_TRAY_COLORS"));
    if (selection == XCB_ATOM_NONE || colours == XCB_ATOM_NONE)
        return std::nullopt;
    const XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr), &std::free);
    if (!owner || owner->owner == XCB_WINDOW_NONE)
        return std::nullopt;
    // Foreground, error, warning and success colours, each as three 16-bit channels.
    const XcbReply<xcb_get_property_reply_t> property(
        xcb_get_property_reply(connection, xcb_get_property(connection, false, owner->owner, colours, XCB_ATOM_CARDINAL, 0, 12),
                               nullptr),
        &std::free);
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < int(3 * sizeof(uint32_t)))
        return std::nullopt;
    const auto *channels = static_cast<const uint32_t *>(xcb_get_property_value(property.get()));
    const QColor foreground = QColor::fromRgba64(quint16(channels[0]), quint16(channels[1]), quint16(channels[2]));
    qCDebug(lcDesktop) << "the system tray's text colour:" << foreground.name();
    return foreground;
}

} // namespace TrayHints
