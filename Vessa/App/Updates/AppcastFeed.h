#pragma once

#include "Vessa/App/Updates/AppcastItem.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

#include <optional>
#include <vector>

namespace vessa {

// An appcast: an RSS 2.0 channel whose items are releases. Each item names
// its version on its enclosure (or in a child element) with the attributes
// "version" and, optionally, "shortVersionString", in whatever XML namespace
// the feed uses:
//
//   <rss version="2.0" xmlns:app="...">
//     <channel>
//       <link>https://example.org/download</link>
//       <item>
//         <title>Version 1.2</title>
//         <description><![CDATA[<p>Notes</p>]]></description>
//         <link>https://example.org/download/1.2</link>
//         <enclosure url="https://example.org/app-1.2.tar.gz"
//                    app:version="1.2" app:shortVersionString="1.2"/>
//       </item>
//     </channel>
//   </rss>
//
// The download page of an item is its link, else the channel's link, else
// its enclosure's address; addresses are resolved against the feed's own.
class AppcastFeed {
public:
    // Reads a feed; items without a version are left out. Throws
    // UpdateCheckError (malformedFeed) for anything that is not such a feed,
    // and for a feed whose items all lack a version.
    static AppcastFeed parse(const QByteArray& xml, const QUrl& feedAddress);

    // A version as written in a feed or by the program: dotted numbers, with
    // anything after them ignored ("1.2.0-beta" is 1.2) and trailing zeros
    // dropped ("1.2.0" equals "1.2"). Nothing when it does not start with a
    // number.
    static std::optional<QVersionNumber> parseVersion(const QString& text);

    const std::vector<AppcastItem>& items() const { return m_items; }
    // The item with the highest version (the first of equal ones); nothing
    // for a feed without items.
    std::optional<AppcastItem> newest() const;

private:
    std::vector<AppcastItem> m_items;
};

} // namespace vessa
