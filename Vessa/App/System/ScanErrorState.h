#pragma once

#include <QLatin1String>
#include <QObject>
#include <QStringList>

#include <exception>

class QSettings;

namespace vessa {

// The last failure of background work (scanError), which the main window
// shows in its "Error" alert and clears when the alert is dismissed. It
// notifies on every assignment. At start it holds what was wrong with the
// media database or the settings folder and what was done about it
// (StartupNotice), if anything: that notice stays through the first scans,
// and only the user's acknowledgement forgets it for the next start.
//
// Threads: main thread only.
class ScanErrorState : public QObject {
    Q_OBJECT

public:
    // The notices of media databases set aside that the user has not yet
    // dismissed, one text each.
    static constexpr QLatin1String startupNoticeKey{"startupNotice"};

    // `settings` must outlive it.
    explicit ScanErrorState(QSettings& settings, QObject* parent = nullptr);

    std::exception_ptr scanError() const { return m_scanError; }
    void setScanError(std::exception_ptr error);
    // The user has read the alert of scanError (its "OK"): clears it, and the
    // start-up notice it held is not told again at the next start. Any other
    // end of the alert (closed at quit) leaves the notice for the next start.
    void acknowledgeScanError();

    // Adds paragraphs to the start-up notice and shows it.
    void tellStartupProblems(const QStringList& problems);
    // A scan starts: the error goes, unless it is the start-up notice.
    void clearUnlessStartupNotice();

signals:
    void scanErrorChanged();

private:
    QSettings& m_settings;
    std::exception_ptr m_scanError;
    // Shown once: a scan does not clear it, only a dismissal does.
    std::exception_ptr m_startupNotice;
    QStringList m_startupProblems;
};

} // namespace vessa
