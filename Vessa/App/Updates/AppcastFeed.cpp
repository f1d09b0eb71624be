#include "Vessa/App/Updates/AppcastFeed.h"

#include "Vessa/App/Updates/UpdateCheckError.h"

#include <QXmlStreamReader>

namespace vessa {

namespace {

// What one <item> says, before its version is checked.
struct ItemFields {
    QString versionText;
    QString shortVersionText;
    QString title;
    QString notes;
    QString link;
    QString enclosureAddress;
};

QString attributeNamed(const QXmlStreamAttributes& attributes, QLatin1String localName)
{
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == localName)
            return attribute.value().toString().trimmed();
    }
    return {};
}

// The web page an address of the feed points to, resolved against the feed's
// own address; nothing for an empty address or one that is not http(s), so a
// feed cannot make the program open a local file or another program.
QUrl webPage(const QString& address, const QUrl& feedAddress)
{
    if (address.isEmpty())
        return {};
    const QUrl resolved = feedAddress.resolved(QUrl(address));
    const QString scheme = resolved.scheme();
    if (!resolved.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return resolved;
}

class FeedReader {
public:
    FeedReader(const QByteArray& xml, const QUrl& feedAddress)
        : m_reader(xml), m_feedAddress(feedAddress), m_empty(xml.trimmed().isEmpty())
    {
    }

    std::vector<AppcastItem> read()
    {
        if (m_empty)
            throw UpdateCheckError::emptyAnswer();
        if (!m_reader.readNextStartElement())
            throw malformed();
        if (!isRss(QLatin1String("rss")))
            throw UpdateCheckError::notRss();
        bool sawChannel = false;
        while (m_reader.readNextStartElement()) {
            if (isRss(QLatin1String("channel"))) {
                sawChannel = true;
                readChannel();
            } else {
                m_reader.skipCurrentElement();
            }
        }
        if (m_reader.hasError())
            throw malformed();
        if (!sawChannel)
            throw UpdateCheckError::noChannel();
        return finishItems();
    }

private:
    // An element of RSS itself (no namespace) with this name.
    bool isRss(QLatin1String name) const { return m_reader.name() == name && m_reader.namespaceUri().isEmpty(); }

    QString text(QXmlStreamReader::ReadElementTextBehaviour behaviour = QXmlStreamReader::ErrorOnUnexpectedElement)
    {
        return m_reader.readElementText(behaviour).trimmed();
    }

    UpdateCheckError malformed() const
    {
        if (!m_reader.hasError())
            return UpdateCheckError::noElement();
        QString message = m_reader.errorString();
        if (message.endsWith(u'.'))
            message.chop(1);
        return UpdateCheckError::malformedFeed(message, m_reader.lineNumber());
    }

    void readChannel()
    {
        while (m_reader.readNextStartElement()) {
            if (isRss(QLatin1String("link")))
                m_channelLink = text();
            else if (isRss(QLatin1String("item")))
                m_fields.push_back(readItem());
            else
                m_reader.skipCurrentElement();
        }
    }

    ItemFields readItem()
    {
        ItemFields item;
        while (m_reader.readNextStartElement()) {
            if (isRss(QLatin1String("title"))) {
                item.title = text();
            } else if (isRss(QLatin1String("description"))) {
                // Notes are usually escaped HTML; bare tags are read as their text.
                item.notes = text(QXmlStreamReader::IncludeChildElements);
            } else if (isRss(QLatin1String("link"))) {
                item.link = text();
            } else if (isRss(QLatin1String("enclosure"))) {
                const QXmlStreamAttributes attributes = m_reader.attributes();
                item.enclosureAddress = attributeNamed(attributes, QLatin1String("url"));
                if (item.versionText.isEmpty())
                    item.versionText = attributeNamed(attributes, QLatin1String("version"));
                if (item.shortVersionText.isEmpty())
                    item.shortVersionText = attributeNamed(attributes, QLatin1String("shortVersionString"));
                m_reader.skipCurrentElement();
            } else if (m_reader.name() == QLatin1String("version") && !m_reader.namespaceUri().isEmpty()) {
                item.versionText = text();
            } else if (m_reader.name() == QLatin1String("shortVersionString") && !m_reader.namespaceUri().isEmpty()) {
                item.shortVersionText = text();
            } else {
                m_reader.skipCurrentElement();
            }
        }
        return item;
    }

    std::vector<AppcastItem> finishItems() const
    {
        std::vector<AppcastItem> items;
        for (const ItemFields& fields : m_fields) {
            const std::optional<QVersionNumber> version = AppcastFeed::parseVersion(fields.versionText);
            if (!version)
                continue;
            QUrl page = webPage(fields.link, m_feedAddress);
            if (page.isEmpty())
                page = webPage(m_channelLink, m_feedAddress);
            if (page.isEmpty())
                page = webPage(fields.enclosureAddress, m_feedAddress);
            items.push_back({*version, fields.shortVersionText.isEmpty() ? fields.versionText : fields.shortVersionText,
                             fields.title, fields.notes, page});
        }
        if (items.empty() && !m_fields.empty())
            throw UpdateCheckError::noVersion();
        return items;
    }

    QXmlStreamReader m_reader;
    QUrl m_feedAddress;
    bool m_empty;
    QString m_channelLink;
    std::vector<ItemFields> m_fields;
};

} // namespace

AppcastFeed AppcastFeed::parse(const QByteArray& xml, const QUrl& feedAddress)
{
    AppcastFeed feed;
    feed.m_items = FeedReader(xml, feedAddress).read();
    return feed;
}

std::optional<QVersionNumber> AppcastFeed::parseVersion(const QString& text)
{
    const QVersionNumber version = QVersionNumber::fromString(text.trimmed());
    if (version.isNull())
        return std::nullopt;
    return version.normalized();
}

std::optional<AppcastItem> AppcastFeed::newest() const
{
    const AppcastItem* best = nullptr;
    for (const AppcastItem& item : m_items) {
        if (!best || QVersionNumber::compare(item.version, best->version) > 0)
            best = &item;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

} // namespace vessa
