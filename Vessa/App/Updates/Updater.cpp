#include "Vessa/App/Updates/Updater.h"

#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Updates/AppcastFeed.h"
#include "Vessa/App/Updates/UpdateFeedDefaults.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>

namespace vessa {

namespace {

using Trigger = UpdateCheckResult::Trigger;
using Outcome = UpdateCheckResult::Outcome;

QString triggerName(Trigger trigger)
{
    return trigger == Trigger::user ? QStringLiteral("user") : QStringLiteral("automatic");
}

// The feed's address when it is an http(s) URL; nothing otherwise.
std::optional<QUrl> webAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return url;
}

} // namespace

QString Updater::builtInFeedAddress()
{
    return QStringLiteral(VESSA_UPDATE_FEED_URL);
}

Updater::Updater(QSettings& settings, QString currentVersion, QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_currentVersion(std::move(currentVersion)),
      m_network(new QNetworkAccessManager(this))
{
    m_dueTimer.setInterval(dueCheckInterval);
    connect(&m_dueTimer, &QTimer::timeout, this, &Updater::checkAutomaticallyIfDue);
}

Updater::~Updater()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void Updater::start()
{
    if (m_started)
        return;
    m_started = true;
    emit canCheckForUpdatesChanged();
    m_dueTimer.start();
    checkAutomaticallyIfDue();
}

void Updater::checkForUpdates()
{
    if (!canCheckForUpdates())
        return;
    beginCheck(Trigger::user);
}

bool Updater::automaticallyChecksForUpdates() const
{
    return m_settings.value(automaticChecksKey, false).toBool();
}

void Updater::setAutomaticallyChecksForUpdates(bool enabled)
{
    const bool changed = enabled != automaticallyChecksForUpdates();
    m_settings.setValue(automaticChecksKey, enabled);
    if (changed)
        emit automaticallyChecksForUpdatesChanged();
    if (enabled)
        checkAutomaticallyIfDue();
}

QString Updater::feedAddress() const
{
    const QString configured = m_settings.value(feedAddressKey).toString().trimmed();
    return configured.isEmpty() ? builtInFeedAddress() : configured;
}

std::optional<QDateTime> Updater::lastCheckTime() const
{
    const QDateTime time = QDateTime::fromString(m_settings.value(lastCheckTimeKey).toString(), Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

bool Updater::isAutomaticCheckDue() const
{
    if (!automaticallyChecksForUpdates())
        return false;
    const std::optional<QDateTime> last = lastCheckTime();
    if (!last)
        return true;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return *last > now || *last + automaticCheckInterval <= now;
}

void Updater::checkAutomaticallyIfDue()
{
    if (canCheckForUpdates() && isAutomaticCheckDue())
        beginCheck(Trigger::automatic);
}

void Updater::beginCheck(Trigger trigger)
{
    setChecking(true);
    m_checkStarted = QDateTime::currentDateTimeUtc();
    const QString address = feedAddress();
    logInfo(lcApp(),
            QStringLiteral("Checking for updates (") + triggerName(trigger) + QStringLiteral(") at ") + address);

    const std::optional<QUrl> url = webAddress(address);
    if (!url) {
        // Reported from the event loop like any other result, never inside the call.
        const UpdateCheckError error =
            address.isEmpty() ? UpdateCheckError::noFeed() : UpdateCheckError::invalidFeedAddress(address);
        QMetaObject::invokeMethod(
            this, [this, trigger, error] { finishWithError(trigger, error); }, Qt::QueuedConnection);
        return;
    }

    QNetworkRequest request(*url);
    const QString userAgent = QStringLiteral("Vessa/") + m_currentVersion;
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setRawHeader("Accept", "application/rss+xml, application/xml;q=0.9, */*;q=0.5");
    request.setTransferTimeout(int(std::chrono::milliseconds(transferTimeout).count()));
    m_replyTooLarge = false;
    m_reply = m_network->get(request);
    QNetworkReply* reply = m_reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64 total) {
        if (received > maximumFeedSize || total > maximumFeedSize) {
            m_replyTooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, trigger] {
        reply->deleteLater();
        m_reply = nullptr;
        finishCheck(evaluate(*reply, trigger));
    });
}

UpdateCheckResult Updater::evaluate(QNetworkReply& reply, Trigger trigger) const
{
    UpdateCheckResult result;
    result.trigger = trigger;
    result.currentVersion = m_currentVersion;
    try {
        const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (m_replyTooLarge)
            throw UpdateCheckError::feedTooLarge();
        if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
            throw UpdateCheckError::httpStatus(status.toInt());
        switch (reply.error()) {
        case QNetworkReply::NoError: break;
        // The transfer timeout aborts the reply; the updater aborts only for size.
        case QNetworkReply::OperationCanceledError:
        case QNetworkReply::TimeoutError: throw UpdateCheckError::timedOut();
        default: throw UpdateCheckError::unreachable(reply.errorString());
        }
        const AppcastFeed feed = AppcastFeed::parse(reply.readAll(), reply.url());
        result.newest = feed.newest();
        const QVersionNumber current = AppcastFeed::parseVersion(m_currentVersion).value_or(QVersionNumber());
        const bool newer = result.newest && QVersionNumber::compare(result.newest->version, current) > 0;
        result.outcome = newer ? Outcome::updateAvailable : Outcome::upToDate;
    } catch (const UpdateCheckError& error) {
        result.outcome = Outcome::failed;
        result.error = error;
    }
    return result;
}

void Updater::finishWithError(Trigger trigger, const UpdateCheckError& error)
{
    UpdateCheckResult result;
    result.trigger = trigger;
    result.outcome = Outcome::failed;
    result.currentVersion = m_currentVersion;
    result.error = error;
    finishCheck(std::move(result));
}

void Updater::finishCheck(UpdateCheckResult result)
{
    switch (result.outcome) {
    case Outcome::updateAvailable:
        logInfo(lcApp(), QStringLiteral("Update available: ") + result.newest->displayVersion);
        break;
    case Outcome::upToDate:
        logInfo(lcApp(), QStringLiteral("No update: ") + m_currentVersion + QStringLiteral(" is current"));
        break;
    case Outcome::failed:
        logError(lcApp(), QStringLiteral("Update check failed: ") + result.error->description());
        break;
    }
    if (result.outcome != Outcome::failed)
        m_settings.setValue(lastCheckTimeKey, m_checkStarted.toString(Qt::ISODateWithMs));
    m_lastResult = result;
    setChecking(false);
    emit checkFinished(result);
}

void Updater::setChecking(bool checking)
{
    if (checking == m_checking)
        return;
    m_checking = checking;
    emit canCheckForUpdatesChanged();
}

} // namespace vessa
