#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace vessa {

// One entry of a track table's context menu, built by the table's owner each
// time the menu opens: a command, a submenu of further entries (to any depth)
// or a separator.
class TrackContextMenuItem {
public:
    enum class Kind { Button, Submenu, Divider };
    // Carried for the owner's sake; the menu gives it no styling.
    enum class ButtonRole { Destructive, Cancel };

    static TrackContextMenuItem button(QString title, std::optional<QString> systemImage,
                                       std::optional<ButtonRole> role, std::function<void()> action);
    static TrackContextMenuItem submenu(QString title, std::optional<QString> systemImage,
                                        QList<TrackContextMenuItem> items);
    static TrackContextMenuItem divider();

    Kind kind() const { return m_kind; }
    const QString& title() const { return m_title; }
    // A symbol identifier as Icons knows it.
    const std::optional<QString>& systemImage() const { return m_systemImage; }
    const std::optional<ButtonRole>& role() const { return m_role; }
    const std::function<void()>& action() const { return m_action; }
    const QList<TrackContextMenuItem>& items() const { return m_items; }

private:
    explicit TrackContextMenuItem(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    QString m_title;
    std::optional<QString> m_systemImage;
    std::optional<ButtonRole> m_role;
    std::function<void()> m_action;
    QList<TrackContextMenuItem> m_items;
};

} // namespace vessa
