#include "Parvik/M3UPlaylistFileError.h"
#include "Parvik/PlaylistFileError.h"
#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "Vessa/App/Playlists/PlaylistDocumentError.h"

#include <QtTest>

using namespace vessa;
using namespace Qt::StringLiterals;

namespace {

const QByteArray emptyOwnFile("#parvik:2\t{}\n");
const QByteArray ownFile("#parvik:2\t{}\nvez:track:A:B:C\nvez:track:D:E:F\tfile:///m/f.mp3\n");
const QByteArray m3u("#EXTM3U\n#EXTINF:215,Artist - Caf\xc3\xa9\nMusic/a b.mp3\n");
const QByteArray latin1M3u("Caf\xe9 Noir.mp3\r\n");

// "name: entry, entry" with each entry as its URI and "|hint" when it has one,
// or the error's description.
QString outcome(const std::optional<QByteArray>& contents, const std::optional<QString>& fileName)
{
    try {
        const PlaylistDocument document = PlaylistDocument::read(contents, fileName);
        QStringList entries;
        for (const PlaylistTrack& track : document.playlist.tracks)
            entries.append(track.ref.uri() + (track.fileHint ? u'|' + *track.fileHint : QString()));
        return document.playlist.name + QStringLiteral(": ") + entries.join(QStringLiteral(", "));
    } catch (const PlaylistDocumentError& error) {
        return QStringLiteral("document: ") + error.description();
    } catch (const PlaylistFileError& error) {
        return QStringLiteral("own format: ") + error.description();
    } catch (const M3UPlaylistFileError& error) {
        return QStringLiteral("M3U: ") + error.description();
    }
}

} // namespace

class PlaylistDocumentTest : public QObject {
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("hasContents");
        QTest::addColumn<QString>("fileName"); // a null text: no name
        QTest::addColumn<QString>("expected");
        const QString m3uEntry = "vez:track:Artist::Caf%C3%A9:215|file://Music/a%20b.mp3";
        const QString missingHeader = "own format: Playlist file is empty or missing the #parvik header";
        QTest::newRow("M3U8, upper-case extension")
            << m3u << true << u"Road Trip.M3U8"_s << u"Road Trip: "_s + m3uEntry;
        QTest::newRow("M3U8 is UTF-8 only")
            << latin1M3u << true << u"Road Trip.m3u8"_s << u"M3U: M3U file 'Road Trip' is not valid UTF-8"_s;
        QTest::newRow("Latin-1 M3U") << latin1M3u << true << u"mix.m3u"_s
                                     << u"mix: vez:track:::Caf%C3%A9%20Noir|file://Caf%C3%A9%20Noir.mp3"_s;
        QTest::newRow("M3U without entries")
            << QByteArray("#EXTM3U\nhttp://radio\n") << true << u"r.m3u"_s << u"M3U: M3U file 'r' contains no tracks"_s;
        QTest::newRow("other extension, not UTF-8") << latin1M3u << true << "notes.txt" << missingHeader;
        QTest::newRow("other extension, UTF-8 text")
            << QByteArray("shopping list\n") << true << "notes.txt" << missingHeader;
        QTest::newRow("own format") << ownFile << true << u"Favourites.parvik"_s
                                    << u"Favourites: vez:track:A:B:C, vez:track:D:E:F|file:///m/f.mp3"_s;
        QTest::newRow("last extension only") << emptyOwnFile << true << u"a.b.parvik"_s << u"a.b: "_s;
        QTest::newRow("no extension") << emptyOwnFile << true << u"Mixtape"_s << u"Mixtape: "_s;
        QTest::newRow("dot name has no extension") << emptyOwnFile << true << u".parvik"_s << u".parvik: "_s;
        QTest::newRow("dot M3U name is the own format") << m3u << true << ".m3u" << missingHeader;
        QTest::newRow("malformed own header")
            << QByteArray("#parvik:two\t{}\n") << true << u"x.parvik"_s
            << u"own format: Malformed playlist header: '#parvik:two\t{}' (expected '#parvik:<version>\\t<json>')"_s;
        QTest::newRow("the 13-byte empty playlist, unnamed") << emptyOwnFile << true << QString() << "Untitled: ";
        QTest::newRow("empty contents") << QByteArray() << true << "Favourites.parvik" << missingHeader;
        QTest::newRow("no contents") << QByteArray() << false << u"Favourites.parvik"_s
                                     << u"document: Playlist file 'Favourites.parvik' is empty"_s;
        QTest::newRow("no name, no contents")
            << QByteArray() << false << QString() << "document: Playlist file 'unknown' is empty";
    }

    void read()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, hasContents);
        QFETCH(QString, fileName);
        QFETCH(QString, expected);
        QCOMPARE(outcome(hasContents ? std::optional(contents) : std::nullopt,
                         fileName.isNull() ? std::nullopt : std::optional(fileName)),
                 expected);
    }

    void writesTheOwnFormat()
    {
        QCOMPARE(PlaylistDocument::read(ownFile, QStringLiteral("Favourites.parvik")).write(), ownFile);
        // An imported M3U is saved in the own format, its hints kept.
        QCOMPARE(PlaylistDocument::read(m3u, QStringLiteral("Road Trip.m3u")).write(),
                 QByteArray("#parvik:2\t{}\nvez:track:Artist::Caf%C3%A9:215\tfile://Music/a%20b.mp3\n"));
        const PlaylistDocument fresh;
        QCOMPARE(fresh.playlist.name, QStringLiteral("Untitled"));
        QVERIFY(fresh.playlist.tracks.isEmpty());
        QCOMPARE(fresh.write(), emptyOwnFile);
        QCOMPARE(PlaylistDocument::writableMimeTypes(), QStringList{"application/x-vessa-parvik"});
        QCOMPARE(PlaylistDocument::readableMimeTypes().first(), "application/x-vessa-parvik");
    }
};

QTEST_GUILESS_MAIN(PlaylistDocumentTest)

#include "tst_playlistdocument.moc"
