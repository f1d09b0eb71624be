#include "VessaCore/ThreadStart.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(ThreadStartError)
};

} // namespace

ThreadStartError::ThreadStartError(const std::system_error& refusal)
    : m_reason(QString::fromLocal8Bit(refusal.code().message().c_str()))
{
}

QString ThreadStartError::description() const
{
    return Text::tr("A background task could not start: the system refused another thread (%1).").arg(m_reason);
}

} // namespace vessa
