#pragma once

#include <QObject>

#include <functional>

namespace vessa {

// Runs an action once, from the event loop, however many times it was
// requested before the loop came round (see ViewConventions.h). The action
// never runs inside the call that requests it. Destroying the object (or its
// owner) drops a pending run.
class CoalescedRefresh : public QObject {
    Q_OBJECT
public:
    CoalescedRefresh(std::function<void()> action, QObject* parent);

    void request();
    bool isPending() const { return m_pending; }

private:
    void run();

    std::function<void()> m_action;
    bool m_pending = false;
};

} // namespace vessa
