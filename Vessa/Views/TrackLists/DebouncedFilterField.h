#pragma once

#include <QLineEdit>

class QTimer;

namespace vessa {

// The "Filter tracks" field of the track lists: settled() carries the text
// 150 ms after the last change, once per pause in typing.
class DebouncedFilterField : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int debounceMilliseconds = 150;

    explicit DebouncedFilterField(QWidget* parent = nullptr);

    // Sets the text without waiting and without announcing it.
    void setTextNow(const QString& text);

signals:
    void settled(const QString& text);

private:
    QTimer* m_timer;
    bool m_settingNow = false;
};

} // namespace vessa
