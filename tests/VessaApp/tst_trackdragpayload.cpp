#include "Vessa/App/Library/TrackDragPayload.h"
#include "tests/support/FileFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QUrl>
#include <QtTest>

#include <memory>

using namespace vessa;

namespace {

const QSet<QString> supported{"mp3", "flac"};

// Rows name dropped files under "file:///m/": they stand under `root`.
QString underRoot(QString text, const QTemporaryDir& root)
{
    return text.replace("file:///m/", QUrl::fromLocalFile(root.filePath("m")).toString() + "/");
}

// Each entry as its URI, then "|" and the hint when it has one.
QStringList describe(const QList<PlaylistTrack>& tracks)
{
    QStringList lines;
    for (const PlaylistTrack& track : tracks)
        lines.append(track.ref.uri() + (track.fileHint ? u'|' + *track.fileHint : QString()));
    return lines;
}

} // namespace

class TrackDragPayloadTest : public QObject {
    Q_OBJECT

    // The files the rows drop: a few of each kind, folders and a dangling link.
    QTemporaryDir m_root;

private slots:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(m_root.filePath("m/Music")) && QDir().mkpath(m_root.filePath("m/Album.flac")));
        for (const char* name : {"a.mp3", "b.FLAC", "cover.jpg", "My Song.mp3", "R&B;1.mp3", "songs.zip", "notes.txt"})
            vessa::test::writeFile(m_root.filePath("m/") + name, {});
        QVERIFY(QFile::link(m_root.filePath("m/gone.mp3"), m_root.filePath("m/dangling.mp3")));
    }

    void referencesTravelInRowOrder()
    {
        const QList<TrackRef> refs{TrackRef("B", "", "2"), TrackRef("A", "X:Y", "1#", 30, 2), TrackRef("B", "", "2")};
        const std::unique_ptr<QMimeData> data(encodeTrackRefs(refs));
        QCOMPARE(data->formats(), QStringList{"application/x-vessa-trackref+json"});
        const QJsonArray payload = QJsonDocument::fromJson(data->data(trackRefMimeType)).array();
        QCOMPARE(payload.size(), 3);
        QCOMPARE(payload.at(1).toObject().keys(), QStringList{"uri"});
        QCOMPARE(payload.at(1).toObject().value("uri").toString(), refs.at(1).uri());

        const QList<PlaylistTrack> tracks = extractPlaylistTracks(*data, supported);
        QCOMPARE(tracks.size(), 3);
        for (qsizetype i = 0; i < refs.size(); ++i)
            QCOMPARE(tracks.at(i), PlaylistTrack(refs.at(i)));
        QCOMPARE(playlistDropTypes(), QStringList({"application/x-vessa-trackref+json", "text/uri-list"}));
    }

    void entriesTravelWithTheirFiles_data()
    {
        QTest::addColumn<std::optional<QString>>("hint");
        QTest::addColumn<QString>("carried"); // empty: the entry travels as a bare reference
        QTest::newRow("no hint") << std::optional<QString>() << QString();
        QTest::newRow("absolute") << std::optional<QString>("file:///m/My%20Song.mp3") << "file:///m/My%20Song.mp3";
        QTest::newRow("relative: names no file away from its playlist")
            << std::optional<QString>("file://sub/a.mp3") << QString();
        QTest::newRow("bare") << std::optional<QString>("a.mp3") << QString();
        QTest::newRow("empty") << std::optional<QString>("") << QString();
    }

    void entriesTravelWithTheirFiles()
    {
        QFETCH(std::optional<QString>, hint);
        QFETCH(QString, carried);
        const TrackRef ref("A", "B", "1");
        const PlaylistTrack entry(ref, hint);
        const std::unique_ptr<QMimeData> data(encodePlaylistTracks({entry, PlaylistTrack(ref)}));
        const QJsonArray payload = QJsonDocument::fromJson(data->data(trackRefMimeType)).array();
        QCOMPARE(payload.at(0).toObject().keys(),
                 carried.isEmpty() ? QStringList{"uri"} : QStringList({"fileHint", "uri"}));
        QCOMPARE(payload.at(1).toObject().keys(), QStringList{"uri"});
        const QList<PlaylistTrack> dropped = extractPlaylistTracks(*data, supported);
        QCOMPARE(describe(dropped), QStringList({ref.uri() + (carried.isEmpty() ? "" : "|" + carried), ref.uri()}));
    }

    void drops_data()
    {
        // payload "-": no track references in the drop.
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<QStringList>("expected");
        const QStringList files{"file:///m/a.mp3", "file:///m/cover.jpg", "file:///m/b.FLAC"};
        const QStringList fileTracks{"vez:track:::a|file:///m/a.mp3", "vez:track:::b|file:///m/b.FLAC"};
        QTest::newRow("files filtered by extension") << QByteArray("-") << files << fileTracks;
        QTest::newRow("decoded title, encoded hint")
            << QByteArray("-") << QStringList{"file:///m/My%20Song.mp3", "file:///m/R%26B;1.mp3"}
            << QStringList{"vez:track:::My%20Song|file:///m/My%20Song.mp3",
                           "vez:track:::R&B%3B1|file:///m/R&B%3B1.mp3"};
        QTest::newRow("only local files")
            << QByteArray("-") << QStringList{"https://example.com/a.mp3", "file:///m/a.mp3"}
            << QStringList{fileTracks.first()};
        QTest::newRow("no extension, or a folder")
            << QByteArray("-") << QStringList{"file:///m/.mp3", "file:///m/Album.flac/", "file:///m/x."}
            << QStringList();
        QTest::newRow("references win over files")
            << QByteArray(R"([{"uri":"vez:track:A::1"}])") << files << QStringList{"vez:track:A::1"};
        QTest::newRow("a single object") << QByteArray(R"({"uri":"vez:track:A::1"})") << QStringList()
                                         << QStringList{"vez:track:A::1"};
        QTest::newRow("hints: absolute kept, others left out")
            << QByteArray("[{\"uri\":\"vez:track:A::1\",\"fileHint\":\"file:///m/a.mp3\"},"
                          "{\"uri\":\"vez:track:A::2\",\"fileHint\":\"file://a.mp3\"},"
                          "{\"uri\":\"vez:track:A::3\",\"fileHint\":3}]")
            << QStringList() << QStringList{"vez:track:A::1|file:///m/a.mp3", "vez:track:A::2", "vez:track:A::3"};
        QTest::newRow("malformed elements skipped")
            << QByteArray(R"([1,{"uri":3},{"url":"x"},"vez:track:A::0",{"uri":"vez:track:A::1"}])") << QStringList()
            << QStringList{"vez:track:A::1"};
        QTest::newRow("broken JSON falls back to files") << QByteArray(R"([{"uri":)") << files << fileTracks;
        QTest::newRow("no reference decodes: files")
            << QByteArray(R"([{"uri":null}])") << QStringList{"file:///m/a.mp3"} << QStringList{fileTracks.first()};
        QTest::newRow("nothing usable") << QByteArray("[]")
                                        << QStringList{"file:///m/cover.jpg", "file:///m/", "mailto:a@b.c"}
                                        << QStringList();
        QTest::newRow("empty drop") << QByteArray("-") << QStringList() << QStringList();
        QTest::newRow("a folder, an archive, a text file")
            << QByteArray("-") << QStringList{"file:///m/Music", "file:///m/songs.zip", "file:///m/notes.txt"}
            << QStringList();
        QTest::newRow("several files: the playable ones")
            << QByteArray("-") << QStringList{"file:///m/Music", "file:///m/a.mp3", "file:///m/notes.txt"}
            << QStringList{fileTracks.first()};
        QTest::newRow("nothing behind: a dangling link, a missing file, a folder named like a file")
            << QByteArray("-") << QStringList{"file:///m/dangling.mp3", "file:///m/missing.mp3", "file:///m/Album.flac"}
            << QStringList();
    }

    void drops()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, urls);
        QFETCH(QStringList, expected);
        QMimeData data;
        if (payload != "-")
            data.setData(trackRefMimeType, underRoot(QString::fromUtf8(payload), m_root).toUtf8());
        QList<QUrl> dropped;
        for (const QString& url : urls)
            dropped.append(QUrl(underRoot(url, m_root)));
        if (!dropped.isEmpty())
            data.setUrls(dropped);
        for (QString& entry : expected)
            entry = underRoot(entry, m_root);
        QCOMPARE(describe(extractPlaylistTracks(data, supported)), expected);
        // A drag that would add nothing is refused before it is dropped.
        QCOMPARE(hasPlaylistTracks(data, supported), !expected.isEmpty());
    }

    void fileTitlesAreDecoded()
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_root.filePath("m/My Song.mp3"))});
        const QList<PlaylistTrack> tracks = extractPlaylistTracks(data, supported);
        QCOMPARE(tracks.size(), 1);
        QCOMPARE(tracks.first().ref.track(), "My Song");
        QCOMPARE(tracks.first().ref.artist(), "");
        QCOMPARE(tracks.first().fileHint, underRoot("file:///m/My%20Song.mp3", m_root));
    }
};

QTEST_GUILESS_MAIN(TrackDragPayloadTest)

#include "tst_trackdragpayload.moc"
