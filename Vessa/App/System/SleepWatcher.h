#pragma once

#include <QDBusConnection>
#include <QObject>

namespace vessa {

// Tells when the machine is about to sleep: logind's PrepareForSleep(true)
// on the system bus. Without a reachable bus it stays silent.
//
// Threads: main thread.
class SleepWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr const char* service = "org.freedesktop.login1";
    static constexpr const char* path = "/org/freedesktop/login1";
    static constexpr const char* interface = "org.freedesktop.login1.Manager";

    // Listens on the system bus.
    explicit SleepWatcher(QObject* parent = nullptr);
    // Listens on `bus` (tests pass a session bus).
    explicit SleepWatcher(const QDBusConnection& bus, QObject* parent = nullptr);

    bool isListening() const { return m_listening; }

signals:
    void aboutToSleep();

private slots:
    void prepareForSleep(bool starting);

private:
    bool m_listening = false;
};

} // namespace vessa
