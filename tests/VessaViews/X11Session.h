#pragma once

// What the end-to-end test does on the X display it shares with the program:
// find a top-level window by its title, type a shortcut into it (a synthetic
// key event, which Qt takes with the modifiers it carries) and grab its
// pixels. Needs the xcb platform.

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace vessa::test {

class X11Session {
public:
    X11Session()
    {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            m_connection = x11->connection();
    }

    bool isValid() const { return m_connection != nullptr; }

    // The viewable top-level window titled `title`.
    std::optional<xcb_window_t> windowTitled(const QByteArray& title) const
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const auto tree = reply(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, root), nullptr));
        if (!tree)
            return std::nullopt;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const auto attributes = reply(xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr));
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
                continue;
            const auto name = reply(xcb_get_property_reply(
                m_connection,
                xcb_get_property(m_connection, 0, children[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                nullptr));
            if (name
                && QByteArray(static_cast<const char*>(xcb_get_property_value(name.get())),
                              xcb_get_property_value_length(name.get()))
                       == title)
                return children[i];
        }
        return std::nullopt;
    }

    // Types `keysym` with Ctrl held into `window`.
    bool sendControlKey(xcb_window_t window, xcb_keysym_t keysym) const
    {
        const std::optional<xcb_keycode_t> keycode = keycodeFor(keysym);
        if (!keycode)
            return false;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        for (const uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
            xcb_key_press_event_t event{};
            event.response_type = type;
            event.detail = *keycode;
            event.time = XCB_CURRENT_TIME;
            event.root = root;
            event.event = window;
            event.child = XCB_NONE;
            event.state = XCB_MOD_MASK_CONTROL;
            event.same_screen = 1;
            const uint32_t mask = type == XCB_KEY_PRESS ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE;
            xcb_send_event(m_connection, 0, window, mask, reinterpret_cast<const char*>(&event));
        }
        xcb_flush(m_connection);
        return true;
    }

    static QImage grab(xcb_window_t window) { return QGuiApplication::primaryScreen()->grabWindow(window).toImage(); }

private:
    template <typename T>
    static std::unique_ptr<T, decltype(&std::free)> reply(T* value)
    {
        return {value, &std::free};
    }

    std::optional<xcb_keycode_t> keycodeFor(xcb_keysym_t keysym) const
    {
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        const auto mapping = reply(xcb_get_keyboard_mapping_reply(
            m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count), nullptr));
        if (!mapping)
            return std::nullopt;
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int perKeycode = mapping->keysyms_per_keycode;
        for (int code = 0; code < count; ++code) {
            for (int i = 0; i < perKeycode; ++i) {
                if (keysyms[code * perKeycode + i] == keysym)
                    return static_cast<xcb_keycode_t>(setup->min_keycode + code);
            }
        }
        return std::nullopt;
    }

    xcb_connection_t* m_connection = nullptr;
};

} // namespace vessa::test
