#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistFile.h"
#include "Parvik/PlaylistLibrary.h"
#include "Rasko/FileHint.h"
#include "Vessa/App/Playlists/PlaylistDocumentFile.h"
#include "Vessa/Views/Documents/DocumentController.h"
#include "Vessa/Views/Documents/PlaylistDocumentView.h"
#include "Vessa/Views/Documents/PlaylistDocumentWindow.h"
#include "Vessa/Views/TrackLists/PlaylistContentModel.h"
#include "Vessa/Views/TrackLists/PlaylistContentView.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableModel.h"
#include "tests/VessaViews/VessaAppRig.h"
#include "tests/support/FileFixture.h"

#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

using namespace vessa;
using vessa::test::fileContent;
using vessa::test::writeFile;
using CloseAnswer = DocumentPrompts::CloseAnswer;
using namespace Qt::StringLiterals;

namespace {

const QByteArray ownFormat = "#parvik:2\t{}\nfile:///music/a.flac\nfile:///music/b.mp3\tb.mp3\n";
const QByteArray m3u = "#EXTM3U\n/music/a.flac\n/music/b.mp3\n";

} // namespace

class DocumentControllerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::VessaAppRig> m_rig;
    std::unique_ptr<VessaApp> m_app;
    QStringList m_proposals;
    QStringList m_questions;

    DocumentController& documents() const { return m_app->documents(); }
    QString file(const QString& name) const { return m_rig->home.filePath(name); }

    // Save dialogs answer `path`, recording what they proposed.
    void answerSaveWith(const std::optional<QString>& path)
    {
        m_rig->prompts.chooseSaveLocation = [this, path](QWidget*, const QString& proposal) {
            m_proposals << proposal;
            return path;
        };
    }
    void answerCloseWith(CloseAnswer answer)
    {
        m_rig->prompts.askToSaveChanges = [this, answer](QWidget*, const QString& title) {
            m_questions << title;
            return answer;
        };
    }

private slots:
    void init()
    {
        m_rig = std::make_unique<test::VessaAppRig>();
        m_app = m_rig->make();
        m_proposals.clear();
        m_questions.clear();
    }

    void cleanup()
    {
        m_app.reset();
        m_rig.reset();
    }

    void opensPlaylistFiles_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("playlistName");
        QTest::addColumn<int>("trackCount");
        QTest::newRow("own format") << "Favourites.parvik" << ownFormat << "Favourites" << 2;
        QTest::newRow("own format, capitals") << "LOUD.PARVIK" << ownFormat << "LOUD" << 2;
        QTest::newRow("m3u") << "mix.m3u" << m3u << "mix" << 2;
        QTest::newRow("m3u8, capitals") << "Road Trip.M3U8" << m3u << "Road Trip" << 2;
        QTest::newRow("empty playlist") << "empty.parvik" << QByteArray("#parvik:2\t{}\n") << "empty" << 0;
    }

    void opensPlaylistFiles()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, contents);
        QFETCH(QString, playlistName);
        QFETCH(int, trackCount);
        writeFile(file(fileName), contents);

        const QList<PlaylistDocumentWindow*> opened = documents().openFiles({file(fileName)});
        QCOMPARE(opened.size(), 1);
        PlaylistDocumentWindow* window = opened.constFirst();
        QCOMPARE(window->windowTitle(), fileName + "[*]");
        QCOMPARE(window->document().playlist.name, playlistName);
        QCOMPARE(window->document().playlist.tracks.size(), trackCount);
        QCOMPARE(window->filePath(), std::optional<QString>(file(fileName)));
        QCOMPARE(window->view().filePath(), window->filePath());
        QVERIFY(!window->isModified());
        QVERIFY(window->isVisible());
    }

    void aFileOpensOnce()
    {
        writeFile(file("a.parvik"), ownFormat);
        PlaylistDocumentWindow* first = documents().openFiles({file("a.parvik")}).constFirst();
        const QList<PlaylistDocumentWindow*> again = documents().openFiles({m_rig->home.path() + "/./a.parvik"});
        QCOMPARE(again, QList<PlaylistDocumentWindow*>{first});
        QCOMPARE(documents().windows().size(), 1);
    }

    void unreadableFilesAreReportedAndOpenNothing_data()
    {
        // Contents "<folder>" make a folder, "<link>" a link to nothing.
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not a playlist") << "notes.txt" << QByteArray("hello\n") << "header";
        QTest::newRow("missing") << "gone.parvik" << QByteArray() << "' could not be read: it does not exist";
        QTest::newRow("a folder") << "box.parvik" << QByteArray("<folder>") << "' could not be read: it is a folder";
        QTest::newRow("a link to nothing")
            << "link.parvik" << QByteArray("<link>") << "' could not be read: it is a link to '";
    }

    void unreadableFilesAreReportedAndOpenNothing()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, contents);
        QFETCH(QString, reason);
        if (contents == "<folder>")
            QVERIFY(QDir().mkpath(file(fileName)));
        else if (contents == "<link>")
            QVERIFY(QFile::link(file("nowhere/none.parvik"), file(fileName)));
        else if (!contents.isEmpty())
            writeFile(file(fileName), contents);
        writeFile(file("good.parvik"), ownFormat);

        const QList<PlaylistDocumentWindow*> opened = documents().openFiles({file(fileName), file("good.parvik")});
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.constFirst()->document().playlist.name, QString("good"));
        QVERIFY(documents().alert());
        QTRY_VERIFY(documents().alert()->isVisible());
        QCOMPARE(documents().alert()->text(), "The document \u201C" + fileName + "\u201D could not be opened.");
        // A path that is no readable file is named whole.
        const QString text = documents().alert()->informativeText();
        const QString expected = reason.startsWith(u'\'') ? "The file '" + file(fileName) + reason : reason;
        QVERIFY2(text.contains(expected), qPrintable(text));
    }

    void theOpenDialogOffersEveryPlaylistKindInBothCases()
    {
        const QString all = DocumentPrompts::openFilters().constFirst();
        for (const char* pattern : {"*.parvik", "*.PARVIK", "*.m3u", "*.M3U", "*.m3u8", "*.M3U8"})
            QVERIFY2(all.contains(pattern), pattern);

        writeFile(file("chosen.m3u"), m3u);
        m_rig->prompts.chooseFilesToOpen = [this](QWidget*) { return QStringList{file("chosen.m3u")}; };
        m_app->openWithDialog();
        QCOMPARE(documents().windows().size(), 1);
        QCOMPARE(documents().windows().constFirst()->windowTitle(), QString("chosen.m3u[*]"));
    }

    void savingAnOwnFormatDocumentWritesItsFile()
    {
        writeFile(file("a.parvik"), ownFormat);
        PlaylistDocumentWindow* window = documents().openFiles({file("a.parvik")}).constFirst();
        window->document().playlist.tracks.removeFirst();
        window->setModified(true);
        answerSaveWith(std::nullopt);

        QVERIFY(window->save());
        QVERIFY(m_proposals.isEmpty());
        QCOMPARE(fileContent(file("a.parvik")), QByteArray("#parvik:2\t{}\nfile:///music/b.mp3\tb.mp3\n"));
        QVERIFY(!window->isModified());
    }

    void savingAnM3uDocumentLeavesTheM3uFileUntouched()
    {
        writeFile(file("mix.m3u"), m3u);
        PlaylistDocumentWindow* window = documents().openFiles({file("mix.m3u")}).constFirst();
        window->setModified(true);

        // Cancelled: nothing is written anywhere.
        answerSaveWith(std::nullopt);
        QVERIFY(!window->save());
        QCOMPARE(m_proposals, QStringList{file("mix.parvik")});
        QVERIFY(!QFile::exists(file("mix.parvik")));
        QVERIFY(window->isModified());

        // Accepted: the own format goes next to it.
        answerSaveWith(file("mix.parvik"));
        QVERIFY(window->save());
        QCOMPARE(fileContent(file("mix.m3u")), m3u);
        const QByteArray saved = fileContent(file("mix.parvik"));
        QVERIFY(saved.startsWith("#parvik:2\t{}\n"));
        QCOMPARE(PlaylistFile::parse(saved, "mix").tracks, window->document().playlist.tracks);
        QCOMPARE(window->filePath(), std::optional<QString>(file("mix.parvik")));
        QCOMPARE(window->view().filePath(), window->filePath());
        QCOMPARE(window->windowTitle(), QString("mix.parvik[*]"));
        QVERIFY(!window->isModified());

        // From now on Save writes the new file without asking.
        m_proposals.clear();
        window->setModified(true);
        QVERIFY(window->save());
        QVERIFY(m_proposals.isEmpty());
        QCOMPARE(fileContent(file("mix.m3u")), m3u);
    }

    void saveAsNeverWritesTheOwnFormatUnderAnotherExtension()
    {
        writeFile(file("mix.m3u"), m3u);
        PlaylistDocumentWindow* window = documents().openFiles({file("mix.m3u")}).constFirst();
        answerSaveWith(file("mix.m3u"));
        QVERIFY(window->saveAs());
        QCOMPARE(fileContent(file("mix.m3u")), m3u);
        QVERIFY(QFile::exists(file("mix.m3u.parvik")));
        QCOMPARE(window->filePath(), std::optional<QString>(file("mix.m3u.parvik")));
    }

    void relativeHintsFollowACopy_data()
    {
        QTest::addColumn<QString>("target"); // under the home folder, OTHER: another tree; "": Copy to Library
        QTest::addColumn<QString>("hint");   // ABSOLUTE: the file's absolute hint
        QTest::newRow("Save As into a sibling folder")
            << u"copies/mix.parvik"_s << u"file://../lists/music/a%20b.flac"_s;
        QTest::newRow("Save As into the parent folder") << u"mix.parvik"_s << u"file://lists/music/a%20b.flac"_s;
        QTest::newRow("Save As into another tree") << u"OTHER/mix.parvik"_s << u"ABSOLUTE"_s;
        QTest::newRow("Copy to Library") << QString() << u"ABSOLUTE"_s;
    }

    void relativeHintsFollowACopy()
    {
        QFETCH(QString, target);
        QFETCH(QString, hint);
        const QString music = file("lists/music/a b.flac");
        writeFile(music, {});
        writeFile(file("lists/mix.m3u"), "music/a b.flac\nmusic/gone.flac\n");
        PlaylistDocumentWindow* window = documents().openFiles({file("lists/mix.m3u")}).constFirst();
        PlaylistContentView* shown = window->view().content();
        std::unique_ptr<PlaylistContentView> libraryView;
        std::optional<Playlist> written;
        // Another tree: a folder whose first folder below the root is not the home folder's.
        QTemporaryDir other(m_rig->home.path().startsWith("/tmp/") ? "/var/tmp/vessa-XXXXXX" : "/tmp/vessa-XXXXXX");
        if (target.isEmpty()) {
            PlaylistLibrary& library = m_app->appState()->playlistLibrary();
            QTRY_VERIFY(library.playlist("Starred"));
            shown->copyButton()->click();
            written = library.playlist("mix");
            libraryView = std::make_unique<PlaylistContentView>(TrackListServices::of(*m_app->appState()),
                                                                PlaylistStorage::library("mix"));
            shown = libraryView.get();
        } else {
            const QString path = target.startsWith("OTHER") ? other.path() + target.mid(5) : file(target);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            answerSaveWith(path);
            QVERIFY(window->saveAs());
            written = PlaylistFile::parse(fileContent(path), "mix");
            QCOMPARE(window->document().playlist.tracks, written->tracks);
        }
        QVERIFY(written);
        QCOMPARE(written->tracks[0].fileHint, hint == "ABSOLUTE" ? FileHint::encode(music) : hint);

        // The copied entry names the same file; the one whose file is missing is greyed.
        const TrackRows& rows = shown->table()->rows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(QDir::cleanPath(rows[0].userInfo.toString()), music);
        QVERIFY(rows[0].isResolvable);
        QVERIFY(!rows[1].isResolvable);
        const TrackTableModel* table = shown->table()->model();
        const auto titleColour = [table](int row) {
            const QModelIndex index = table->index(row, table->columnOf(TrackTableColumn::Kind::Title));
            return table->data(index, Qt::ForegroundRole).value<QColor>();
        };
        QVERIFY(titleColour(1).alphaF() < titleColour(0).alphaF());
    }

    void savingAnUntitledDocumentAsksWhereAndNamesItAfterTheFile()
    {
        PlaylistDocumentWindow* window = documents().newDocument();
        answerSaveWith(file("Road Trip.parvik"));
        QVERIFY(window->save());
        QCOMPARE(m_proposals.size(), 1);
        QVERIFY(m_proposals.constFirst().endsWith("/Untitled.parvik"));
        QCOMPARE(fileContent(file("Road Trip.parvik")), QByteArray("#parvik:2\t{}\n"));
        QCOMPARE(window->document().playlist.name, QString("Road Trip"));
        QCOMPARE(window->windowTitle(), QString("Road Trip.parvik[*]"));
    }

    // Documents never saved are told apart, as "Untitled 2" and so on.
    void newDocumentsAreNamedApart()
    {
        PlaylistDocumentWindow* first = documents().newDocument();
        PlaylistDocumentWindow* second = documents().newDocument();
        QCOMPARE(first->displayName(), "Untitled");
        QCOMPARE(second->displayName(), "Untitled 2");
        QCOMPARE(second->windowTitle(), "Untitled 2[*]");
        QVERIFY(first->close());
        QTRY_COMPARE(documents().windows().size(), 1);
        QCOMPARE(documents().newDocument()->displayName(), "Untitled");
        QCOMPARE(documents().newDocument()->displayName(), "Untitled 3");
    }

    void aFailedSaveKeepsTheChangesAndSaysWhy()
    {
        PlaylistDocumentWindow* window = documents().newDocument();
        window->setModified(true);
        answerSaveWith(file("no/such/folder/x.parvik"));
        QVERIFY(!window->save());
        QVERIFY(window->isModified());
        QVERIFY(!window->filePath());
        QVERIFY(window->alert());
        QTRY_VERIFY(window->alert()->isVisible());
        QCOMPARE(window->alert()->text(), QString("The document could not be saved."));
        QVERIFY(window->alert()->informativeText().contains("x.parvik"));
    }

    void closingAModifiedDocumentAsks_data()
    {
        QTest::addColumn<CloseAnswer>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QByteArray>("fileAfter");
        const QByteArray edited = "#parvik:2\t{}\nfile:///music/b.mp3\tb.mp3\n";
        QTest::newRow("save") << CloseAnswer::save << true << edited;
        QTest::newRow("discard") << CloseAnswer::discard << true << ownFormat;
        QTest::newRow("cancel") << CloseAnswer::cancel << false << ownFormat;
    }

    void closingAModifiedDocumentAsks()
    {
        QFETCH(CloseAnswer, answer);
        QFETCH(bool, closes);
        QFETCH(QByteArray, fileAfter);
        writeFile(file("a.parvik"), ownFormat);
        QPointer<PlaylistDocumentWindow> window = documents().openFiles({file("a.parvik")}).constFirst();
        answerCloseWith(answer);

        // Unmodified: closes without a question.
        QVERIFY(window->close());
        QVERIFY(m_questions.isEmpty());
        QTRY_VERIFY(window.isNull());

        window = documents().openFiles({file("a.parvik")}).constFirst();
        window->document().playlist.tracks.removeFirst();
        window->setModified(true);
        QCOMPARE(window->close(), closes);
        QCOMPARE(m_questions, QStringList{"a.parvik"});
        QCOMPARE(fileContent(file("a.parvik")), fileAfter);
        if (closes)
            QTRY_VERIFY(window.isNull());
        else
            QVERIFY(window->isVisible());
    }

    void saveCancelledWhileClosingKeepsTheWindow()
    {
        PlaylistDocumentWindow* window = documents().newDocument();
        window->setModified(true);
        answerCloseWith(CloseAnswer::save);
        answerSaveWith(std::nullopt);
        QVERIFY(!window->close());
        QCOMPARE(documents().windows().size(), 1);
    }

    void quitStopsWhenADocumentStaysOpen()
    {
        PlaylistDocumentWindow* kept = documents().newDocument();
        kept->setModified(true);
        documents().newDocument();
        answerCloseWith(CloseAnswer::cancel);
        QVERIFY(!documents().closeAll());
        QCOMPARE(documents().windows().size(), 2);

        answerCloseWith(CloseAnswer::discard);
        QVERIFY(documents().closeAll());
        QTRY_VERIFY(documents().windows().isEmpty());
    }
    void documentsPlayIntoTheOnePlayContext()
    {
        const QString a = m_rig->writeWav("a.wav");
        const QString b = m_rig->writeWav("b.wav");
        const QList<PlaylistTrack> tracks{PlaylistTrack(TrackRef("Artist", "Album", "A", 1), a),
                                          PlaylistTrack(TrackRef("Artist", "Album", "B", 1), b)};
        writeFile(file("mix.parvik"), PlaylistFile::serialize(Playlist("mix", tracks)));
        PlaylistDocumentWindow* saved = documents().openFiles({file("mix.parvik")}).constFirst();
        PlaylistDocumentWindow* untitled = documents().newDocument();
        untitled->document().playlist.tracks = tracks;
        untitled->view().documentChanged();
        QVERIFY(saved->view().content());
        QVERIFY(untitled->view().content());
        PlayContext& playContext = m_app->appState()->playContext();

        QVERIFY(QDir().mkpath("artefacts"));
        QVERIFY(saved->grab().save("artefacts/document-window.png"));

        // An unsaved document's queue is named after its playlist.
        untitled->view().content()->model().playTrack(0);
        QCOMPARE(playContext.queueID(), std::optional<QString>("document:Untitled"));
        // The other window replaces the same queue, named after its file.
        saved->view().content()->model().playTrack(1);
        QCOMPARE(playContext.queueID(), std::optional<QString>(saved->view().content()->model().queueID()));
        QVERIFY(playContext.queueID() != std::optional<QString>("document:Untitled"));
        QVERIFY(playContext.queueID()->contains("mix.parvik"));

        // Saving the untitled document renames its queue.
        answerSaveWith(file("road.parvik"));
        QVERIFY(untitled->save());
        QVERIFY(untitled->view().content()->model().queueID().contains("road.parvik"));
    }
};

QTEST_MAIN(DocumentControllerTest)
#include "tst_documentcontroller.moc"
