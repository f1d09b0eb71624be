#pragma once

#include <QString>
#include <QWidget>

#include <optional>

namespace vessa {

// What the main window shows when the program could not start: a warning
// sign, "Failed to initialize" and, when known, the error's text.
class FailureView : public QWidget {
    Q_OBJECT
public:
    explicit FailureView(std::optional<QString> error, QWidget* parent = nullptr);
};

} // namespace vessa
