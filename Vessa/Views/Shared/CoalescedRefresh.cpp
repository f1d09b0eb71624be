#include "Vessa/Views/Shared/CoalescedRefresh.h"

#include <QMetaObject>

namespace vessa {

CoalescedRefresh::CoalescedRefresh(std::function<void()> action, QObject* parent)
    : QObject(parent), m_action(std::move(action))
{
}

void CoalescedRefresh::request()
{
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(this, &CoalescedRefresh::run, Qt::QueuedConnection);
}

void CoalescedRefresh::run()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_action();
}

} // namespace vessa
