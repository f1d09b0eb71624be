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
    if (m_startupNotice && m_scanError == m_startupNotice) {
        m_startupProblems.clear();
        if (m_settings.contains(startupNoticeKey)) {
            m_settings.remove(startupNoticeKey);
            m_settings.sync();
        }
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
