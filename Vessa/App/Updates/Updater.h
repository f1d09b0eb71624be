#pragma once

#include "Vessa/App/Updates/UpdateCheckResult.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QSettings;

namespace vessa {

// Looks for a newer release of the program in an appcast feed (see
// AppcastFeed) over HTTP. It only reads the feed: it never downloads or
// installs anything; a found update is offered through its download page.
//
// The feed's address is the one the program was built with
// (VESSA_UPDATE_FEED_URL), unless the settings name another under
// "updateFeedURL". Whether the updater checks by itself is the saved setting
// "automaticallyChecksForUpdates" (off until the user turns it on); the
// automatic check runs at most once a day, counted from the last check of
// either kind that read the feed, whose start time is saved as
// "lastUpdateCheckTime". A failed check is not counted: the next start (or
// the next hourly look) tries again.
//
// Threads: main thread only.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)

public:
    static constexpr QLatin1String feedAddressKey{"updateFeedURL"};
    static constexpr QLatin1String automaticChecksKey{"automaticallyChecksForUpdates"};
    static constexpr QLatin1String lastCheckTimeKey{"lastUpdateCheckTime"};
    static constexpr std::chrono::hours automaticCheckInterval{24};
    // How often a running program looks whether the automatic check is due.
    static constexpr std::chrono::hours dueCheckInterval{1};
    static constexpr std::chrono::seconds transferTimeout{30};
    // A feed larger than this is refused without being read to the end.
    static constexpr qint64 maximumFeedSize = 4 * 1024 * 1024;

    // The feed address the program was built with; empty when none was set.
    static QString builtInFeedAddress();

    // `settings` must outlive the updater. `currentVersion` is the running
    // program's version.
    explicit Updater(QSettings& settings, QString currentVersion = QStringLiteral(VESSA_VERSION),
                     QObject* parent = nullptr);
    ~Updater() override;

    // Starts the updater: from now on it can check, and it runs the automatic
    // check whenever it is due. Until then canCheckForUpdates is false.
    void start();

    // True once started and while no check runs.
    bool canCheckForUpdates() const { return m_started && !m_checking; }
    // Starts a check the user asked for; does nothing while
    // canCheckForUpdates is false. checkFinished reports the result.
    void checkForUpdates();

    bool automaticallyChecksForUpdates() const;
    // Saves the setting; turning it on runs the automatic check if it is due.
    void setAutomaticallyChecksForUpdates(bool enabled);

    // The address the next check reads: the settings' one, else the built-in.
    QString feedAddress() const;
    const QString& currentVersion() const { return m_currentVersion; }
    // When the last check that read the feed started; nothing when none is remembered.
    std::optional<QDateTime> lastCheckTime() const;
    // The automatic check is on and the last check is at least a day ago (or
    // never ran, or lies in the future, which a changed clock causes).
    bool isAutomaticCheckDue() const;
    // Runs the automatic check when it is due and the updater can check. The
    // updater calls it when it starts, hourly, and when the setting is turned on.
    void checkAutomaticallyIfDue();

    // The result of the last finished check.
    const std::optional<UpdateCheckResult>& lastResult() const { return m_lastResult; }

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();
    // Every check ends with exactly one result, failures included.
    void checkFinished(const vessa::UpdateCheckResult& result);

private:
    void beginCheck(UpdateCheckResult::Trigger trigger);
    void finishCheck(UpdateCheckResult result);
    void finishWithError(UpdateCheckResult::Trigger trigger, const UpdateCheckError& error);
    UpdateCheckResult evaluate(QNetworkReply& reply, UpdateCheckResult::Trigger trigger) const;
    void setChecking(bool checking);

    QSettings& m_settings;
    QString m_currentVersion;
    QNetworkAccessManager* m_network;
    QTimer m_dueTimer;
    QPointer<QNetworkReply> m_reply;
    bool m_started = false;
    bool m_checking = false;
    bool m_replyTooLarge = false;
    // When the running check started; saved once it has read the feed.
    QDateTime m_checkStarted;
    std::optional<UpdateCheckResult> m_lastResult;
};

} // namespace vessa
