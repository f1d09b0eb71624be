#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "tests/support/FileFixture.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;
using namespace Qt::StringLiterals;

namespace {

const TrackRef libraryTrack("Artist", "Album", "In Library");
const TrackRef otherTrack("Artist", "Album", "Elsewhere");

// Files and folders every case finds: "@" is the temporary folder, the
// playlist file lies in @/P.
const QStringList files{"My Song.mp3",        "My%20Song.flac", "100%.mp3",     "P/sub/a.mp3", "P/Sub Dir/b.flac",
                        "P/Sub%20Dir/c.flac", "P/host/d.mp3",   "P/100%/e.mp3", "P/%FF.mp3"};

} // namespace

Q_DECLARE_METATYPE(TrackAvailability)

class TrackAvailabilityTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

    QString place(QString text) const { return text.replace(u'@', m_folder.path()); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        for (const QString& name : files)
            test::writeFile(m_folder.filePath(name), {});
    }

    void availability_data()
    {
        // hint "-": none; playlist "": none, else relative to "@".
        QTest::addColumn<bool>("inLibrary");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("playlist");
        QTest::addColumn<TrackAvailability>("expected");
        const auto yes = TrackAvailability::available;
        const auto no = TrackAvailability::unavailable;
        QTest::newRow("library, no hint") << true << u"-"_s << u""_s << yes;
        QTest::newRow("library wins over a missing file") << true << u"file://@/gone.mp3"_s << u"P/p.parvik"_s << yes;
        QTest::newRow("not in library, no hint") << false << u"-"_s << u"P/p.parvik"_s << no;
        QTest::newRow("absolute %20") << false << u"file://@/My%20Song.mp3"_s << u""_s << yes;
        QTest::newRow("absolute %20, only the escaped name exists")
            << false << u"file://@/My%20Song.flac"_s << u""_s << no;
        QTest::newRow("absolute, four slashes") << false << u"file:///@/My%20Song.mp3"_s << u""_s << yes;
        QTest::newRow("absolute, missing") << false << u"file://@/gone.mp3"_s << u"P/p.parvik"_s << no;
        QTest::newRow("absolute, invalid escape") << false << u"file://@/100%.mp3"_s << u""_s << no;
        QTest::newRow("absolute, encoded") << false << u"file://@/100%25.mp3"_s << u""_s << yes;
        QTest::newRow("relative") << false << u"file://sub/a.mp3"_s << u"P/p.parvik"_s << yes;
        QTest::newRow("relative %20") << false << u"file://Sub%20Dir/b.flac"_s << u"P/p.parvik"_s << yes;
        QTest::newRow("relative, not a URL host") << false << u"file://host/d.mp3"_s << u"P/p.parvik"_s << yes;
        QTest::newRow("relative, no playlist file") << false << u"file://sub/a.mp3"_s << u""_s << no;
        QTest::newRow("relative, invalid escape") << false << u"file://100%/e.mp3"_s << u"P/p.parvik"_s << no;
        QTest::newRow("relative, escape not UTF-8") << false << u"file://%FF.mp3"_s << u"P/p.parvik"_s << no;
        QTest::newRow("bare") << false << u"sub/a.mp3"_s << u"P/p.parvik"_s << yes;
        QTest::newRow("bare, not decoded") << false << u"Sub%20Dir/c.flac"_s << u"P/p.parvik"_s << yes;
        QTest::newRow("bare, no playlist file") << false << u"sub/a.mp3"_s << u""_s << no;
        QTest::newRow("absolute folder") << false << u"file://@/P/sub"_s << u""_s << yes;
        QTest::newRow("relative folder") << false << u"file://sub"_s << u"P/p.parvik"_s << yes;
        QTest::newRow("empty hint") << false << u""_s << u"P/p.parvik"_s << no;
        QTest::newRow("empty relative hint") << false << u"file://"_s << u"P/p.parvik"_s << no;
    }

    void availability()
    {
        QFETCH(bool, inLibrary);
        QFETCH(QString, hint);
        QFETCH(QString, playlist);
        QFETCH(TrackAvailability, expected);
        TrackAvailabilityIndex index;
        index.setRefs(TrackAvailabilityIndex::localFilesSource, {libraryTrack});
        const TrackRef ref = inLibrary ? libraryTrack : otherTrack;
        const auto fileHint = hint == "-" ? std::nullopt : std::optional(place(hint));
        const auto playlistFile = playlist.isEmpty() ? std::nullopt : std::optional(m_folder.filePath(playlist));
        QCOMPARE(index.availability(ref, fileHint, playlistFile), expected);
    }

    void emptyIndexHasNothing()
    {
        const TrackAvailabilityIndex index;
        QCOMPARE(index.availability(libraryTrack), TrackAvailability::unavailable);
        QCOMPARE(index.availability(libraryTrack, std::nullopt, m_folder.filePath("P/p.parvik")),
                 TrackAvailability::unavailable);
    }

    void changedOnlyWhenTheMergedSetChanges()
    {
        const TrackRef a("A", "", "1"), b("B", "", "2");
        TrackAvailabilityIndex index;
        QSignalSpy changed(&index, &TrackAvailabilityIndex::changed);
        const auto step = [&](const QString& source, const QSet<TrackRef>& refs) {
            changed.clear();
            index.setRefs(source, refs);
            return changed.size();
        };
        QCOMPARE(step("localFiles", {}), 0);  // empty stays empty
        QCOMPARE(step("localFiles", {a}), 1); // a appears
        QCOMPARE(step("localFiles", {a}), 0); // the same set again
        QCOMPARE(step("other", {a}), 0);      // a second source adds nothing new
        QCOMPARE(step("localFiles", {}), 0);  // a is still held by "other"
        QCOMPARE(index.availability(a), TrackAvailability::available);
        QCOMPARE(step("localFiles", {b}), 1);
        QCOMPARE(step("other", {}), 1); // a disappears
        QCOMPARE(index.availability(a), TrackAvailability::unavailable);
        QCOMPARE(index.availability(b), TrackAvailability::available);
        // References compare by their text: an equal reference built anew is the same.
        QCOMPARE(step("localFiles", {TrackRef(b.uri())}), 0);
    }

    // The library's index: the first file of each reference, and a reference
    // is playable when any of its tracks is, many tracks sharing references
    // and hash slots.
    void libraryIndexFindsEveryReference()
    {
        QList<ScannedTrack> tracks;
        for (int i = 0; i < 3000; ++i) {
            const TrackRef ref("Artist", "Album", QString::number(i % 1000));
            tracks.append(ScannedTrack(ref, {}, {}, {}, {}, {}, {}, QStringLiteral("/m/%1").arg(i)));
        }
        // Only the third copy of the references 0-9 can be played; every copy of the rest can.
        const auto playable = [](qsizetype i) { return i % 1000 >= 10 || i >= 2000; };
        auto index = std::make_shared<const LibraryRefIndex>(tracks, playable);
        for (int i = 0; i < 1000; ++i) {
            const TrackRef ref("Artist", "Album", QString::number(i));
            QCOMPARE(index->firstPosition(ref), qsizetype(i));
            QCOMPARE(index->firstFile(ref), QStringLiteral("/m/%1").arg(i));
            QVERIFY(index->isPlayable(ref));
        }
        QVERIFY(!index->firstPosition(otherTrack) && !index->firstFile(otherTrack) && !index->isPlayable(otherTrack));
        const LibraryRefIndex none(tracks, [](qsizetype i) { return i >= 3000; });
        QVERIFY(none.firstFile(tracks.at(5).ref()) && !none.isPlayable(tracks.at(5).ref()));
        QVERIFY(!LibraryRefIndex().isPlayable(libraryTrack) && !LibraryRefIndex().firstFile(libraryTrack));

        TrackAvailabilityIndex availability;
        QSignalSpy changed(&availability, &TrackAvailabilityIndex::changed);
        availability.setLibrary(index);
        QCOMPARE(availability.availability(tracks.at(7).ref()), TrackAvailability::available);
        availability.setLibrary(std::make_shared<const LibraryRefIndex>(tracks, playable)); // the same list again
        QCOMPARE(changed.size(), 1);
        availability.setLibrary(std::make_shared<const LibraryRefIndex>(tracks, [](qsizetype) { return false; }));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(availability.availability(tracks.at(7).ref()), TrackAvailability::unavailable);
        availability.setLibrary(nullptr); // another list
        QCOMPARE(changed.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TrackAvailabilityTest)

#include "tst_trackavailability.moc"
