// How an edit of a playlist made outside its view (a drop on the sidebar,
// "Add to Playlist", a star, a sync) is worked out from two versions.

#include "Vessa/App/Playlists/PlaylistQueue.h"

#include <QtTest>

using namespace vessa;

namespace {

// "title" or "title@hint".
QList<PlaylistTrack> entries(const QStringList& titles)
{
    QList<PlaylistTrack> tracks;
    for (const QString& title : titles) {
        const QString hint = title.section(u'@', 1);
        tracks.append(
            PlaylistTrack(TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), title.section(u'@', 0, 0)),
                          hint.isEmpty() ? std::nullopt : std::optional<QString>(hint)));
    }
    return tracks;
}

} // namespace

class TestPlaylistQueue : public QObject {
    Q_OBJECT

private slots:
    void editsWorkedOutByComparison_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QList<qsizetype>>("origins");
        QTest::newRow("appended") << QStringList{"a", "b", "a"} << QStringList{"a", "b", "a", "a"}
                                  << QList<qsizetype>{0, 1, 2, -1};
        QTest::newRow("the first of two removed")
            << QStringList{"a", "b", "a"} << QStringList{"b", "a"} << QList<qsizetype>{1, 2};
        QTest::newRow("the last of two removed")
            << QStringList{"a", "b", "a"} << QStringList{"a", "b"} << QList<qsizetype>{0, 1};
        QTest::newRow("inserted between")
            << QStringList{"a", "b", "c"} << QStringList{"a", "x", "y", "b", "c"} << QList<qsizetype>{0, -1, -1, 1, 2};
        QTest::newRow("moved") << QStringList{"a", "b", "c", "d"} << QStringList{"b", "c", "a", "d"}
                               << QList<qsizetype>{1, 2, 0, 3};
        QTest::newRow("replaced") << QStringList{"a", "b"} << QStringList{"c", "a"} << QList<qsizetype>{-1, 0};
        QTest::newRow("hints rewritten for another folder")
            << QStringList{"a@file://a", "b", "a@file://a"} << QStringList{"a@file://../m/a", "b", "a@file://../m/a"}
            << QList<qsizetype>{0, 1, 2};
        QTest::newRow("emptied") << QStringList{"a"} << QStringList{} << QList<qsizetype>{};
    }
    void editsWorkedOutByComparison()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QTEST(PlaylistEdit::byComparison(entries(before), entries(after)).origins, "origins");
    }
};

QTEST_GUILESS_MAIN(TestPlaylistQueue)
#include "tst_playlistqueue.moc"
