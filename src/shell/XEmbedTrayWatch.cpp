#include "shell/XEmbedTrayWatch.h"

#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

std::uint32_t internAtom(xcb_connection_t* connection, const QByteArray& name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, name.size(), name.constData()), nullptr);
    const std::uint32_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

xcb_connection_t* x11Connection()
{
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        return x11->connection();
    return nullptr;
}

} // namespace

XEmbedTrayWatch::XEmbedTrayWatch(QObject* parent) : QObject(parent)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return;
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        screen = 0;
    std::free(host);
    m_selectionAtom = internAtom(connection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen));
    m_managerAtom = internAtom(connection, "MANAGER");
    if (m_selectionAtom) {
        qGuiApp->installNativeEventFilter(this);
        hearManagers(connection, screen);
    }
}

void XEmbedTrayWatch::hearManagers(xcb_connection_t* connection, int screen)
{
    // A tray host that takes the selection announces itself to the root window's structure
    // listeners: hearing that announcement, rather than asking every so often, keeps a desktop
    // without a tray free of periodic wake-ups. The root's event mask is shared with the rest of
    // this connection (Qt's own), so it is added to, not replaced.
    xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen && roots.rem; ++i)
        xcb_screen_next(&roots);
    if (!roots.rem || !m_managerAtom)
        return;
    const xcb_window_t root = roots.data->root;
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, root), nullptr);
    if (!attributes)
        return;
    const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    std::free(attributes);
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
}

XEmbedTrayWatch::~XEmbedTrayWatch()
{
    if (qGuiApp && m_selectionAtom)
        qGuiApp->removeNativeEventFilter(this);
}

bool XEmbedTrayWatch::trayOwned()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || !m_selectionAtom)
        return false;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, m_selectionAtom), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    if (owner != XCB_NONE && owner != m_owner) {
        // The owner's destruction is how a tray host's departure shows.
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, owner, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
    }
    m_owner = owner;
    return owner != XCB_NONE;
}

bool XEmbedTrayWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const auto type = event->response_type & 0x7f;
    if (type == XCB_CLIENT_MESSAGE) {
        const auto* announcement = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (announcement->type == m_managerAtom && announcement->format == 32 &&
            announcement->data.data32[1] == m_selectionAtom)
            QMetaObject::invokeMethod(this, &XEmbedTrayWatch::changed, Qt::QueuedConnection);
        return false;
    }
    if (m_owner && type == XCB_DESTROY_NOTIFY &&
        reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == m_owner) {
        m_owner = XCB_NONE;
        // Not from inside Qt's event dispatch: the shell deletes its tray icon in response.
        QMetaObject::invokeMethod(this, &XEmbedTrayWatch::changed, Qt::QueuedConnection);
    }
    return false;
}
