// The playing document stays the same playing list through what its window
// does to it: saved under another name, folder or format, closed and opened
// again. The mark names the entry that sounds, an edit reaches the queue,
// and Next never plays an entry the document no longer holds.

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistFile.h"
#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "Vessa/Views/Documents/DocumentController.h"
#include "Vessa/Views/Documents/PlaylistDocumentWindow.h"
#include "Vessa/Views/TrackLists/PlaylistContentModel.h"
#include "Vessa/Views/TrackLists/PlaylistContentView.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "tests/VessaViews/TrackListTestSupport.h"
#include "tests/support/FileFixture.h"

#include <QTest>

using namespace vessa;
using namespace vessa::test;

class TestPlayingDocument : public QObject {
    Q_OBJECT

    std::unique_ptr<AppStateRig> m_rig;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<DocumentController> m_documents;
    std::optional<QString> m_saveAnswer;

private slots:
    void initTestCase() { AppStateRig::keepOffTheSessionBus(); }

    void init()
    {
        m_rig = std::make_unique<AppStateRig>();
        m_state = startedState(*m_rig);
        QVERIFY(m_state);
        DocumentPrompts prompts;
        prompts.chooseSaveLocation = [this](QWidget*, const QString& proposed) {
            return std::optional<QString>(m_saveAnswer.value_or(proposed));
        };
        prompts.askToSaveChanges = [](QWidget*, const QString&) { return DocumentPrompts::CloseAnswer::discard; };
        m_documents = std::make_unique<DocumentController>(prompts, [this](PlaylistStorage storage, QWidget* parent) {
            return new PlaylistContentView(TrackListServices::of(*m_state), std::move(storage),
                                           std::make_shared<RecordingRevealer>(), parent);
        });
    }
    void cleanup()
    {
        m_documents.reset();
        m_state.reset();
        m_rig.reset();
        m_saveAnswer.reset();
    }

    void playingDocumentKeepsItsQueue_data()
    {
        // "mix.parvik" and "mix.m3u" name their files relatively; a never
        // saved document names them in full.
        QTest::addColumn<QString>("opened"); // "mix.parvik", "mix.m3u" or "untitled"
        QTest::addColumn<QString>("steps");  // "play" plays the first row shown, "remove" removes the second; "save as"
                                             // names a file under the music folder
        QTest::addColumn<QString>("marked"); // the marked row's title at the end; "" for none
        QTest::addColumn<QString>("next");   // the file Next then plays
        QTest::newRow("saved") << "mix.parvik"
                               << "play; save; remove"
                               << "a"
                               << "c";
        QTest::newRow("saved as another name") << "mix.parvik"
                                               << "play; save as mix/mix2.parvik; remove"
                                               << "a"
                                               << "c";
        QTest::newRow("saved as another name, then marked") << "mix.parvik"
                                                            << "play; save as mix/mix2.parvik"
                                                            << "a"
                                                            << "bq";
        QTest::newRow("saved as into another folder") << "mix.parvik"
                                                      << "play; save as other/sub/mix2.parvik; remove"
                                                      << "a"
                                                      << "c";
        QTest::newRow("an M3U file saved in the own format") << "mix.m3u"
                                                             << "play; save; remove"
                                                             << "a"
                                                             << "c";
        QTest::newRow("an M3U file played filtered, saved") << "mix.m3u"
                                                            << "filter; play; save; remove"
                                                            << "bq"
                                                            << "eq";
        QTest::newRow("saved as while filtered, filter cleared") << "mix.parvik"
                                                                 << "filter; play; save as mix/mix2.parvik; unfilter"
                                                                 << "bq"
                                                                 << "dq";
        QTest::newRow("never saved, saved") << "untitled"
                                            << "play; save as mix/mix2.parvik; remove"
                                            << "a"
                                            << "c";
        QTest::newRow("closed and opened again") << "mix.parvik"
                                                 << "play; close; open; remove"
                                                 << "a"
                                                 << "c";
        QTest::newRow("edit discarded, opened again") << "mix.parvik"
                                                      << "play; remove; close; open"
                                                      << "a"
                                                      << "bq";
        QTest::newRow("never saved, closed: a new document is another list") << "untitled"
                                                                             << "play; close; new; add"
                                                                             << ""
                                                                             << "bq";
    }
    void playingDocumentKeepsItsQueue()
    {
        QFETCH(QString, opened);
        QFETCH(QString, steps);
        QFETCH(QString, marked);
        QFETCH(QString, next);
        const QStringList names{"a", "bq", "c", "dq", "eq"};
        Playlist mix(QStringLiteral("mix"), QList<PlaylistTrack>());
        QByteArray m3u;
        for (const QString& name : names) {
            const QString file = m_rig->writeWav(QStringLiteral("mix/%1.wav").arg(name), 44100 * 10);
            const QString hint =
                opened == "untitled" ? QUrl::fromLocalFile(file).toString() : "file://" + name + ".wav";
            mix.append(PlaylistTrack(TrackRef("Artist", "Album", name), hint));
            m3u += "#EXTINF:10,Artist - " + name.toUtf8() + "\n" + name.toUtf8() + ".wav\n";
        }
        QString path = m_rig->folder("mix") + "/" + opened;
        writeFile(m_rig->folder("mix") + "/mix.parvik", PlaylistFile::serialize(mix));
        writeFile(m_rig->folder("mix") + "/mix.m3u", m3u);

        PlaylistDocumentWindow* window = nullptr;
        const auto open = [&] {
            window = opened == "untitled" ? m_documents->newDocument() : m_documents->openFiles({path}).value(0);
            QVERIFY(window && window->view().content());
        };
        open();
        if (opened == "untitled") {
            window->document().playlist.tracks = mix.tracks;
            window->view().documentChanged();
        }
        const auto view = [&window] { return window->view().content(); };
        const auto nowPlaying = [this] { return tracksStarted(*m_rig); };
        const auto markedNow = [&view] { return markedTitle(view()->table()->rows()); };
        for (const QString& step : steps.split("; ")) {
            if (step == "play") {
                const QString played = view()->table()->rows()[0].title;
                view()->model().playTrack(view()->table()->rows()[0].index);
                QTRY_COMPARE(nowPlaying(), 1);
                QTRY_COMPARE(markedNow(), played);
            } else if (step == "remove") {
                view()->table()->setSelectedIds({view()->table()->rows()[1].id});
                view()->table()->handleDelete();
            } else if (step == "add") {
                view()->model().handleDrop({PlaylistTrack(TrackRef("Artist", "Album", "x"))}, 0);
            } else if (step == "save") {
                QVERIFY(window->save());
                path = *window->filePath();
            } else if (step.startsWith("save as ")) {
                const QString chosen = step.mid(8);
                m_saveAnswer = m_rig->folder(chosen.section('/', 0, -2)) + "/" + chosen.section('/', -1);
                QVERIFY(window->saveAs());
                path = *window->filePath();
                QCOMPARE(QFileInfo(path).fileName(), QFileInfo(*m_saveAnswer).fileName());
            } else if (step == "close") {
                QVERIFY(window->close());
                QTRY_VERIFY(m_documents->windows().isEmpty());
            } else if (step == "open") {
                open();
            } else if (step == "new") {
                window = m_documents->newDocument();
                QCOMPARE(window->document().playlist.name, QStringLiteral("Untitled"));
            } else {
                view()->model().setSearchText(step == "filter" ? "q" : "");
            }
        }
        QTRY_COMPARE(markedNow(), marked);
        QCOMPARE(nowPlaying(), 1); // sounding on, not started again
        m_state->playContext().execute(PlaybackCommand::next());
        QTRY_COMPARE(nowPlaying(), 2);
        QVERIFY2(lastOpened(*m_rig).startsWith(next + ".wav"), qPrintable(lastOpened(*m_rig)));
    }
};

QTEST_MAIN(TestPlayingDocument)
#include "tst_playingdocument.moc"
