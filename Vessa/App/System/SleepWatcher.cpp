#include "Vessa/App/System/SleepWatcher.h"

#include <QLatin1String>

namespace vessa {

SleepWatcher::SleepWatcher(QObject* parent) : SleepWatcher(QDBusConnection::systemBus(), parent)
{
}

SleepWatcher::SleepWatcher(const QDBusConnection& bus, QObject* parent) : QObject(parent)
{
    if (!bus.isConnected())
        return;
    QDBusConnection connection = bus;
    m_listening = connection.connect(QLatin1String(service), QLatin1String(path), QLatin1String(interface),
                                     QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

void SleepWatcher::prepareForSleep(bool starting)
{
    if (starting)
        emit aboutToSleep();
}

} // namespace vessa
