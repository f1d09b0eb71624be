#pragma once

#include "Vessa/App/Library/LibraryScanProgress.h"

#include <QWidget>

#include <optional>

class QLabel;

namespace vessa {

class BusyIndicator;

// The detail pane while the first scan of an empty library runs: a spinner
// and "Scanning 3/10 files..." (or "Scanning for music files..." before the
// first file is done).
class ScanningStateView : public QWidget {
    Q_OBJECT
public:
    explicit ScanningStateView(QWidget* parent = nullptr);

    void setProgress(const std::optional<LibraryScanProgress>& progress);
    QString text() const;

private:
    BusyIndicator* m_spinner;
    QLabel* m_text;
};

} // namespace vessa
