#pragma once

#include "Vessa/Views/TrackLists/SidebarSource.h"

#include <QObject>

#include <optional>

namespace vessa {

// The main window's sidebar selection, shared by the sidebar (which shows and
// changes it), the playlist operations (which move it) and the detail pane
// (which follows it). Starts at Local Files.
class SidebarSelection : public QObject {
    Q_OBJECT
public:
    explicit SidebarSelection(QObject* parent = nullptr) : QObject(parent) {}

    const std::optional<SidebarSource>& source() const { return m_source; }
    void setSource(const std::optional<SidebarSource>& source);

signals:
    void sourceChanged();

private:
    std::optional<SidebarSource> m_source = SidebarSource::localFiles();
};

} // namespace vessa
