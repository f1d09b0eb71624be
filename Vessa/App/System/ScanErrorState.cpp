#include "Vessa/App/System/ScanErrorState.h"

#include "Vessa/App/System/StartupNotice.h"

#include <QSettings>

namespace vessa {

ScanErrorState::ScanErrorState(QSettings& settings, QObject* parent) : QObject(parent), m_settings(settings)
{
}

void ScanErrorState::setScanError(std::exception_ptr error)
{
    m_scanError = std::move(error);
    emit scanErrorChanged();
}

void ScanErrorState::acknowledgeScanError()
{
    // The start-up notice has been told: its paragraphs are not repeated.
    // Only what was shown goes: a notice stored meanwhile by the page check
    // is told at the next start if the user does not see it now.
    if (m_startupNotice && m_scanError == m_startupNotice) {
        if (m_settings.contains(startupNoticeKey)) {
            QStringList stored = m_settings.value(startupNoticeKey).toStringList();
            for (const QString& told : std::as_const(m_startupProblems))
                stored.removeAll(told);
            if (stored.isEmpty())
                m_settings.remove(startupNoticeKey);
            else
                m_settings.setValue(startupNoticeKey, stored);
            m_settings.sync();
        }
        m_startupProblems.clear();
    }
    setScanError(nullptr);
}

void ScanErrorState::tellStartupProblems(const QStringList& problems)
{
    if (problems.isEmpty())
        return;
    m_startupProblems += problems;
    m_startupNotice = std::make_exception_ptr(StartupNotice(m_startupProblems));
    setScanError(m_startupNotice);
}

void ScanErrorState::clearUnlessStartupNotice()
{
    if (!m_startupNotice || m_scanError != m_startupNotice)
        setScanError(nullptr);
}

} // namespace vessa
