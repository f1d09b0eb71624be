#include "Parvik/PlaylistFile.h"
#include "Parvik/PlaylistLibrary.h"
#include "Parvik/PlaylistLibraryError.h"
#include "RaskoLocalFile/LocalFolderDestination.h"
#include "VessaCore/Error.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ParvikPrinting.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace vessa;

namespace {

const QString category = QStringLiteral("com.tornwick.parvik.library");
const QByteArray emptyFile("#parvik:2\t{}\n");

class StoreFailure : public Error {
public:
    explicit StoreFailure(QString text) : m_text(std::move(text)) {}
    QString description() const override { return m_text; }

private:
    QString m_text;
};

// The real folder store, with switches that make its operations fail, a
// count of writes, and optionally the behaviour of a file system that ignores
// letter case (an existing file keeps its spelling).
class TestStore : public DestinationPlugin {
public:
    TestStore(const QString& directory, bool ignoresCase)
        : m_folder(QStringLiteral("Library Playlists"), directory), m_directory(directory), m_ignoresCase(ignoresCase)
    {
    }

    QString name() const override { return m_folder.name(); }
    QList<DestinationFileInfo> list(const QString& fileExtension) override
    {
        if (failList)
            throw StoreFailure(QStringLiteral("listing refused"));
        return m_folder.list(fileExtension);
    }
    QByteArray read(const QString& fileID) override { return m_folder.read(stored(fileID)); }
    void write(const QString& fileID, const QByteArray& data) override
    {
        if (failWrites)
            throw StoreFailure(QStringLiteral("disk full"));
        ++writes;
        m_folder.write(stored(fileID), data);
    }
    void remove(const QString& fileID) override
    {
        if (failRemoves)
            throw StoreFailure(QStringLiteral("busy"));
        m_folder.remove(stored(fileID));
    }

    int writes = 0;
    bool failList = false;
    bool failWrites = false;
    bool failRemoves = false;

private:
    QString stored(const QString& fileID) const
    {
        if (m_ignoresCase) {
            for (const QString& entry : QDir(m_directory).entryList(QDir::Files)) {
                if (entry.toCaseFolded() == fileID.toCaseFolded())
                    return entry;
            }
        }
        return fileID;
    }

    LocalFolderDestination m_folder;
    QString m_directory;
    bool m_ignoresCase;
};

QStringList names(const PlaylistLibrary& library)
{
    QStringList result;
    for (const Playlist& playlist : library.playlists())
        result.append(playlist.name);
    return result;
}

template <typename F>
QString errorText(F&& operation)
{
    try {
        operation();
    } catch (const Error& error) {
        return error.description();
    }
    return QString();
}

TrackRef ref(const char* uri)
{
    return TrackRef(QString::fromUtf8(uri));
}

} // namespace

class PlaylistLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstLoadCreatesStarred_data();
    void firstLoadCreatesStarred();
    void libraryOrder();
    void loadErrors();
    void sameNameFromTwoFiles();
    void failedListingKeepsLists();
    void failedStarredWriteInLoadPublishesNothing();
    void unreadableStarredIsNeverOverwritten();
    void failedFileKeepsItsName();
    void saveAndCreate();
    void createRefusesStoredFile();
    void namesThatCannotBeFiles_data();
    void namesThatCannotBeFiles();
    void protectedAndMissingNames();
    void removeAndRename();
    void renameKeepsPlaylistWhenOldFileStays();
    void caseOnlyDifferences();
    void caseInsensitiveStore();
    void starAndUnstar();
    void starBeforeLoadWritesNothing();
    void failedWriteKeepsOldFile();
    void readOnlyFolder();

private:
    QString path(const QString& fileName) const { return m_dir->filePath(fileName); }
    void put(const QString& fileName, const QByteArray& bytes) const;
    QByteArray contents(const QString& fileName) const;
    QStringList filesOnDisk() const;
    PlaylistLibrary& library(bool ignoresCase = false);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<TestStore> m_store;
    std::unique_ptr<PlaylistLibrary> m_library;
};

void PlaylistLibraryTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void PlaylistLibraryTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void PlaylistLibraryTest::cleanup()
{
    m_library.reset();
    m_store.reset();
    m_dir.reset();
}

void PlaylistLibraryTest::put(const QString& fileName, const QByteArray& bytes) const
{
    QFile file(path(fileName));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray PlaylistLibraryTest::contents(const QString& fileName) const
{
    QFile file(path(fileName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList PlaylistLibraryTest::filesOnDisk() const
{
    QStringList files = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    files.sort();
    return files;
}

PlaylistLibrary& PlaylistLibraryTest::library(bool ignoresCase)
{
    m_store = std::make_shared<TestStore>(m_dir->path(), ignoresCase);
    m_library = std::make_unique<PlaylistLibrary>(m_store);
    return *m_library;
}

void PlaylistLibraryTest::firstLoadCreatesStarred_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::newRow("empty folder") << true;
    QTest::newRow("no folder yet") << false;
}

void PlaylistLibraryTest::firstLoadCreatesStarred()
{
    QFETCH(bool, folderExists);
    const QString folder = folderExists ? m_dir->path() : m_dir->filePath(QStringLiteral("new/playlists"));
    auto store = std::make_shared<LocalFolderDestination>(QStringLiteral("Library Playlists"), folder);
    PlaylistLibrary lib(store);
    QVERIFY(lib.playlists().isEmpty());
    QCOMPARE(lib.starred().name, QStringLiteral("Starred"));

    QStringList signalOrder;
    connect(&lib, &PlaylistLibrary::playlistsChanged, this, [&] { signalOrder << "playlists"; });
    connect(&lib, &PlaylistLibrary::loadErrorsChanged, this, [&] { signalOrder << "loadErrors"; });
    test::LogCapture log;
    lib.load();
    QCOMPARE(names(lib), QStringList{"Starred"});
    QVERIFY(lib.loadErrors().isEmpty());
    QCOMPARE(signalOrder, (QStringList{"playlists", "loadErrors"}));
    QFile file(folder + QStringLiteral("/Starred.parvik"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), emptyFile);
    QCOMPARE(log.messages(category), QStringList{"Loaded 1 playlists from Library Playlists"});
    QCOMPARE(log.entries().last().type, QtInfoMsg);
}

void PlaylistLibraryTest::libraryOrder()
{
    for (const char* name : {"b", "A", "Starred", "starred", "\u00c9mile", "emma", "Zed", "10", "a2"})
        put(QString::fromUtf8(name) + QStringLiteral(".parvik"), emptyFile);
    PlaylistLibrary& lib = library();
    lib.load();
    QCOMPARE(names(lib), (QStringList{"Starred", "10", "A", "a2", "b", QString::fromUtf8("\u00c9mile"), "emma",
                                      "starred", "Zed"}));
    QCOMPARE(m_store->writes, 0);

    // create and rename re-sort; a removal keeps the order of the rest.
    lib.create(QStringLiteral("aa"));
    lib.rename(QStringLiteral("Zed"), QStringLiteral("0"));
    lib.remove(QStringLiteral("b"));
    QCOMPARE(names(lib), (QStringList{"Starred", "0", "10", "A", "a2", "aa", QString::fromUtf8("\u00c9mile"), "emma",
                                      "starred"}));
}

void PlaylistLibraryTest::loadErrors()
{
    put(QStringLiteral("good.parvik"), "#parvik:2\t{}\nvez:track:a::t\tfile://t.mp3\n");
    put(QStringLiteral("nohead.parvik"), "just text\n");
    put(QStringLiteral("latin.parvik"), "#parvik:2\t{}\ncaf\xE9\n");
    put(QStringLiteral("newer.parvik"), "#parvik:3\t{}\n");
    put(QStringLiteral("CAPS.PARVIK"), "#parvik:1\nx\n");
    put(QStringLiteral("other.m3u"), "a.mp3\n");
    PlaylistLibrary& lib = library();
    test::LogCapture log;
    lib.load();

    QCOMPARE(names(lib), (QStringList{"Starred", "CAPS.PARVIK", "good"}));
    QCOMPARE(lib.playlist(QStringLiteral("good"))->tracks,
             QList<PlaylistTrack>{PlaylistTrack(ref("vez:track:a::t"), QStringLiteral("file://t.mp3"))});
    QMap<QString, QString> reasons;
    for (const PlaylistLoadError& error : lib.loadErrors())
        reasons.insert(error.id(), error.errorDescription());
    const QString missing = QStringLiteral("Playlist file is empty or missing the #parvik header");
    QCOMPARE(reasons, (QMap<QString, QString>{
                          {"nohead", missing},
                          {"latin", missing},
                          {"newer", "Unsupported playlist file version: 3 (this app supports up to version 2)"}}));
    QVERIFY(log.contains(category, QStringLiteral("Failed to load playlist 'newer': Unsupported playlist file "
                                                  "version: 3 (this app supports up to version 2)")));
    QStringList failedNames;
    for (const PlaylistLoadError& error : lib.loadErrors())
        failedNames.append(error.name);
    const QString summary = QStringLiteral("Loaded 3 playlists from Library Playlists, 3 failed: ") + failedNames.join(", ");
    QCOMPARE(log.messages(category).last(), summary);
    QCOMPARE(log.entries().last().type, QtCriticalMsg);
    QCOMPARE(contents(QStringLiteral("newer.parvik")), QByteArray("#parvik:3\t{}\n"));
}

void PlaylistLibraryTest::sameNameFromTwoFiles()
{
    // Both give the name "Mix.PARVIK"; the file the library writes for it wins.
    put(QStringLiteral("Mix.PARVIK"), "#parvik:2\nold\n");
    put(QStringLiteral("Mix.PARVIK.parvik"), "#parvik:2\nnew\n");
    PlaylistLibrary& lib = library();
    lib.load();
    QCOMPARE(names(lib), (QStringList{"Starred", "Mix.PARVIK"}));
    QCOMPARE(lib.playlist(QStringLiteral("Mix.PARVIK"))->tracks, QList<PlaylistTrack>{PlaylistTrack(ref("new"))});
    QCOMPARE(lib.loadErrors().size(), 1);
    QCOMPARE(lib.loadErrors()[0].errorDescription(), QStringLiteral("A playlist named 'Mix.PARVIK' already exists"));

    Playlist edited = *lib.playlist(QStringLiteral("Mix.PARVIK"));
    edited.append(ref("more"));
    lib.save(edited);
    QCOMPARE(contents(QStringLiteral("Mix.PARVIK.parvik")), QByteArray("#parvik:2\t{}\nnew\nmore\n"));
    QCOMPARE(contents(QStringLiteral("Mix.PARVIK")), QByteArray("#parvik:2\nold\n"));
}

void PlaylistLibraryTest::failedListingKeepsLists()
{
    put(QStringLiteral("x.parvik"), "#parvik:2\na\n");
    put(QStringLiteral("y.parvik"), "junk");
    PlaylistLibrary& lib = library();
    lib.load();
    m_store->failList = true;
    QSignalSpy changes(&lib, &PlaylistLibrary::playlistsChanged);
    QCOMPARE(errorText([&] { lib.load(); }), QStringLiteral("listing refused"));
    QCOMPARE(names(lib), (QStringList{"Starred", "x"}));
    QCOMPARE(lib.loadErrors().size(), 1);
    QCOMPARE(changes.count(), 0);
}

void PlaylistLibraryTest::failedStarredWriteInLoadPublishesNothing()
{
    put(QStringLiteral("x.parvik"), emptyFile);
    PlaylistLibrary& lib = library();
    m_store->failWrites = true;
    QCOMPARE(errorText([&] { lib.load(); }), QStringLiteral("Failed to save playlist 'Starred': disk full"));
    QVERIFY(lib.playlists().isEmpty());
    QVERIFY(lib.loadErrors().isEmpty());
}

void PlaylistLibraryTest::unreadableStarredIsNeverOverwritten()
{
    const QByteArray future("#parvik:3\t{\"k\":1}\nvez:track:a::b\n");
    put(QStringLiteral("Starred.parvik"), future);
    PlaylistLibrary& lib = library();
    lib.load();
    QCOMPARE(names(lib), QStringList{"Starred"});
    QVERIFY(lib.starred().tracks.isEmpty());
    QCOMPARE(lib.loadErrors().size(), 1);
    QCOMPARE(lib.loadErrors()[0].name, QStringLiteral("Starred"));

    const QString refused = QStringLiteral("Failed to save playlist 'Starred': Unsupported playlist file version: 3 "
                                           "(this app supports up to version 2)");
    QCOMPARE(errorText([&] { lib.star(ref("vez:track:c::d")); }), refused);
    QVERIFY(!lib.isStarred(ref("vez:track:c::d")));
    QCOMPARE(errorText([&] { lib.save(Playlist(QStringLiteral("Starred"), QList<TrackRef>{ref("e")})); }), refused);
    QCOMPARE(errorText([&] { lib.create(QStringLiteral("Starred")); }),
             QStringLiteral("A playlist named 'Starred' already exists"));
    lib.load();
    QCOMPARE(m_store->writes, 0);
    QCOMPARE(contents(QStringLiteral("Starred.parvik")), future);
}

void PlaylistLibraryTest::failedFileKeepsItsName()
{
    const QByteArray broken("#parvik:2.5\nvez:track:x::y\n");
    put(QStringLiteral("Road.parvik"), broken);
    put(QStringLiteral("Other.parvik"), emptyFile);
    PlaylistLibrary& lib = library();
    lib.load();
    const QString taken = QStringLiteral("A playlist named 'Road' already exists");
    QCOMPARE(errorText([&] { lib.create(QStringLiteral("Road")); }), taken);
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("Other"), QStringLiteral("Road")); }), taken);
    QVERIFY(errorText([&] { lib.save(Playlist(QStringLiteral("Road"), QList<TrackRef>())); })
                .startsWith(QStringLiteral("Failed to save playlist 'Road': Malformed playlist header")));
    QCOMPARE(contents(QStringLiteral("Road.parvik")), broken);
    QCOMPARE(names(lib), (QStringList{"Starred", "Other"}));
}

void PlaylistLibraryTest::saveAndCreate()
{
    PlaylistLibrary& lib = library();
    lib.load();
    // save of a name that is not in the list writes the file only.
    lib.save(Playlist(QStringLiteral("Loose"), QList<TrackRef>{ref("a")}));
    QCOMPARE(contents(QStringLiteral("Loose.parvik")), QByteArray("#parvik:2\t{}\na\n"));
    QCOMPARE(names(lib), QStringList{"Starred"});

    test::LogCapture log;
    QSignalSpy changes(&lib, &PlaylistLibrary::playlistsChanged);
    const Playlist created = lib.create(QStringLiteral("Road Trip"));
    QCOMPARE(created.name, QStringLiteral("Road Trip"));
    QVERIFY(created.tracks.isEmpty());
    QCOMPARE(contents(QStringLiteral("Road Trip.parvik")), emptyFile);
    QCOMPARE(log.messages(category), QStringList{"Created playlist: Road Trip"});
    QVERIFY(changes.count() >= 1);

    Playlist edited = created;
    edited.append(PlaylistTrack(ref("vez:track:x::y"), QStringLiteral("file:///m/y.mp3")));
    changes.clear();
    lib.save(edited);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(lib.playlist(QStringLiteral("Road Trip"))->tracks, edited.tracks);
    QCOMPARE(contents(QStringLiteral("Road Trip.parvik")), QByteArray("#parvik:2\t{}\nvez:track:x::y\tfile:///m/y.mp3\n"));
    QCOMPARE(errorText([&] { lib.create(QStringLiteral("Road Trip")); }),
             QStringLiteral("A playlist named 'Road Trip' already exists"));

    m_store->failWrites = true;
    Playlist again = edited;
    again.append(ref("z"));
    QCOMPARE(errorText([&] { lib.save(again); }), QStringLiteral("Failed to save playlist 'Road Trip': disk full"));
    QCOMPARE(lib.playlist(QStringLiteral("Road Trip"))->tracks, edited.tracks);
    QCOMPARE(errorText([&] { lib.create(QStringLiteral("New")); }), QStringLiteral("Failed to save playlist 'New': disk full"));
    QVERIFY(!lib.playlist(QStringLiteral("New")));
}

void PlaylistLibraryTest::createRefusesStoredFile()
{
    PlaylistLibrary& lib = library();
    lib.load();
    // A file that arrived after the load (from another computer, say).
    put(QStringLiteral("Synced.parvik"), "#parvik:2\nkeep\n");
    QCOMPARE(errorText([&] { lib.create(QStringLiteral("Synced")); }),
             QStringLiteral("A playlist named 'Synced' already exists"));
    lib.create(QStringLiteral("Other"));
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("Other"), QStringLiteral("Synced")); }),
             QStringLiteral("A playlist named 'Synced' already exists"));
    QCOMPARE(contents(QStringLiteral("Synced.parvik")), QByteArray("#parvik:2\nkeep\n"));
}

void PlaylistLibraryTest::namesThatCannotBeFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("dot") << ".";
    QTest::newRow("hidden") << ".mix";
    QTest::newRow("slash") << "a/b";
    QTest::newRow("parent") << "../up";
    QTest::newRow("NUL") << QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b");
}

void PlaylistLibraryTest::namesThatCannotBeFiles()
{
    QFETCH(QString, name);
    PlaylistLibrary& lib = library();
    lib.load();
    lib.create(QStringLiteral("ok"));
    const QStringList before = filesOnDisk();
    const QString refused = QStringLiteral("A playlist cannot be named '%1': a name must not be empty, begin with '.' "
                                           "or contain '/'")
                                .arg(name);
    QCOMPARE(errorText([&] { lib.create(name); }), refused);
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("ok"), name); }), refused);
    QCOMPARE(errorText([&] { lib.save(Playlist(name, QList<TrackRef>())); }), refused);
    QCOMPARE(filesOnDisk(), before);
    QCOMPARE(names(lib), (QStringList{"Starred", "ok"}));
}

void PlaylistLibraryTest::protectedAndMissingNames()
{
    PlaylistLibrary& lib = library();
    lib.load();
    const int writes = m_store->writes;
    QCOMPARE(errorText([&] { lib.create(QStringLiteral("Starred")); }),
             QStringLiteral("A playlist named 'Starred' already exists"));
    QCOMPARE(errorText([&] { lib.remove(QStringLiteral("Starred")); }),
             QStringLiteral("The Starred playlist cannot be deleted"));
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("Starred"), QStringLiteral("Fav")); }),
             QStringLiteral("The Starred playlist cannot be renamed"));
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("nope"), QStringLiteral("x")); }),
             QStringLiteral("Playlist 'nope' not found"));
    QCOMPARE(errorText([&] { lib.remove(QStringLiteral("nope")); }), QStringLiteral("Playlist 'nope' not found"));
    lib.create(QStringLiteral("a"));
    lib.create(QStringLiteral("b"));
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("a"), QStringLiteral("a")); }),
             QStringLiteral("A playlist named 'a' already exists"));
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("a"), QStringLiteral("b")); }),
             QStringLiteral("A playlist named 'b' already exists"));
    QCOMPARE(m_store->writes, writes + 2);
    QVERIFY(QFile::exists(path(QStringLiteral("Starred.parvik"))));
}

void PlaylistLibraryTest::removeAndRename()
{
    put(QStringLiteral("starred.parvik"), "#parvik:2\nx\n");
    put(QStringLiteral("Jazz.parvik"), "#parvik:2\nvez:track:a::b\tfile://b.mp3\n");
    PlaylistLibrary& lib = library();
    lib.load();
    test::LogCapture log;

    // "starred" in lower case is an ordinary playlist.
    lib.rename(QStringLiteral("starred"), QStringLiteral("liked"));
    QCOMPARE(contents(QStringLiteral("liked.parvik")), QByteArray("#parvik:2\t{}\nx\n"));
    QVERIFY(!QFile::exists(path(QStringLiteral("starred.parvik"))));
    lib.remove(QStringLiteral("liked"));
    QVERIFY(!QFile::exists(path(QStringLiteral("liked.parvik"))));

    lib.rename(QStringLiteral("Jazz"), QStringLiteral("Blue"));
    QCOMPARE(names(lib), (QStringList{"Starred", "Blue"}));
    QCOMPARE(lib.playlist(QStringLiteral("Blue"))->tracks,
             QList<PlaylistTrack>{PlaylistTrack(ref("vez:track:a::b"), QStringLiteral("file://b.mp3"))});
    QCOMPARE(filesOnDisk(), (QStringList{"Blue.parvik", "Starred.parvik"}));
    QCOMPARE(log.messages(category), (QStringList{"Renamed playlist: starred -> liked", "Deleted playlist: liked",
                                                  "Renamed playlist: Jazz -> Blue"}));

    m_store->failRemoves = true;
    QCOMPARE(errorText([&] { lib.remove(QStringLiteral("Blue")); }),
             QStringLiteral("Failed to delete playlist 'Blue': busy"));
    QCOMPARE(names(lib), (QStringList{"Starred", "Blue"}));
    m_store->failRemoves = false;
    QCOMPARE(errorText([&] { lib.remove(QStringLiteral("Blue")); }), QString());
    // The file went missing meanwhile: the store's text is in the error.
    lib.create(QStringLiteral("Gone"));
    QFile::remove(path(QStringLiteral("Gone.parvik")));
    QVERIFY(errorText([&] { lib.remove(QStringLiteral("Gone")); })
                .startsWith(QStringLiteral("Failed to delete playlist 'Gone': File 'Gone.parvik' not found in ")));
}

void PlaylistLibraryTest::renameKeepsPlaylistWhenOldFileStays()
{
    put(QStringLiteral("a.parvik"), "#parvik:2\nt\n");
    PlaylistLibrary& lib = library();
    lib.load();
    test::LogCapture log;
    m_store->failRemoves = true;
    lib.rename(QStringLiteral("a"), QStringLiteral("z"));
    QCOMPARE(names(lib), (QStringList{"Starred", "z"}));
    QCOMPARE(filesOnDisk(), (QStringList{"Starred.parvik", "a.parvik", "z.parvik"}));
    QCOMPARE(log.messages(category),
             (QStringList{"Failed to delete old playlist file 'a': busy", "Renamed playlist: a -> z"}));

    m_store->failRemoves = false;
    m_store->failWrites = true;
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("z"), QStringLiteral("y")); }),
             QStringLiteral("Failed to save playlist 'y': disk full"));
    QCOMPARE(names(lib), (QStringList{"Starred", "z"}));
    QVERIFY(QFile::exists(path(QStringLiteral("z.parvik"))));
}

void PlaylistLibraryTest::caseOnlyDifferences()
{
    PlaylistLibrary& lib = library();
    lib.load();
    lib.create(QStringLiteral("Mix"));
    lib.create(QStringLiteral("mix"));
    QCOMPARE(lib.playlists().size(), 3);
    lib.save(Playlist(QStringLiteral("Mix"), QList<TrackRef>{ref("upper")}));
    QCOMPARE(contents(QStringLiteral("mix.parvik")), emptyFile);
    lib.remove(QStringLiteral("mix"));
    lib.rename(QStringLiteral("Mix"), QStringLiteral("MIX"));
    QCOMPARE(filesOnDisk(), (QStringList{"MIX.parvik", "Starred.parvik"}));
    QCOMPARE(contents(QStringLiteral("MIX.parvik")), QByteArray("#parvik:2\t{}\nupper\n"));
}

void PlaylistLibraryTest::caseInsensitiveStore()
{
    put(QStringLiteral("Mix.parvik"), "#parvik:2\nkeep\n");
    PlaylistLibrary& lib = library(true);
    lib.load();
    QCOMPARE(errorText([&] { lib.create(QStringLiteral("mix")); }), QStringLiteral("A playlist named 'mix' already exists"));
    lib.rename(QStringLiteral("Mix"), QStringLiteral("MIX"));
    QCOMPARE(names(lib), (QStringList{"Starred", "MIX"}));
    QCOMPARE(filesOnDisk(), (QStringList{"Mix.parvik", "Starred.parvik"}));
    QCOMPARE(contents(QStringLiteral("Mix.parvik")), QByteArray("#parvik:2\t{}\nkeep\n"));
    lib.load();
    QCOMPARE(lib.playlist(QStringLiteral("Mix"))->tracks, QList<PlaylistTrack>{PlaylistTrack(ref("keep"))});
}

void PlaylistLibraryTest::starAndUnstar()
{
    put(QStringLiteral("Starred.parvik"), "#parvik:2\nvez:track:a::one\tfile://one.mp3\n");
    PlaylistLibrary& lib = library();
    lib.load();
    QVERIFY(lib.isStarred(ref("vez:track:a::one")));
    lib.star(ref("vez:track:a::one"));
    lib.unstar(ref("vez:track:a::nope"));
    QCOMPARE(m_store->writes, 0);

    lib.star(ref("vez:track:a::two"));
    lib.star(ref("vez:track:a::one"));
    QCOMPARE(contents(QStringLiteral("Starred.parvik")),
             QByteArray("#parvik:2\t{}\nvez:track:a::one\tfile://one.mp3\nvez:track:a::two\n"));
    lib.unstar(ref("vez:track:a::one"));
    QCOMPARE(contents(QStringLiteral("Starred.parvik")), QByteArray("#parvik:2\t{}\nvez:track:a::two\n"));
    QVERIFY(!lib.isStarred(ref("vez:track:a::one")));

    // A failed write reports and keeps the change in memory.
    m_store->failWrites = true;
    QCOMPARE(errorText([&] { lib.star(ref("vez:track:a::three")); }),
             QStringLiteral("Failed to save playlist 'Starred': disk full"));
    QVERIFY(lib.isStarred(ref("vez:track:a::three")));
    QCOMPARE(contents(QStringLiteral("Starred.parvik")), QByteArray("#parvik:2\t{}\nvez:track:a::two\n"));

    // The setter never inserts a Starred, and replaces the first one.
    Playlist starred = lib.starred();
    starred.tracks.clear();
    lib.setStarred(starred);
    QVERIFY(lib.starred().tracks.isEmpty());
}

void PlaylistLibraryTest::starBeforeLoadWritesNothing()
{
    put(QStringLiteral("Starred.parvik"), "#parvik:2\nprecious\n");
    PlaylistLibrary& lib = library();
    QCOMPARE(errorText([&] { lib.star(ref("x")); }), QStringLiteral("Playlist 'Starred' not found"));
    lib.unstar(ref("precious"));
    lib.setStarred(Playlist(QStringLiteral("Starred"), QList<TrackRef>()));
    QVERIFY(lib.playlists().isEmpty());
    QCOMPARE(m_store->writes, 0);

    // Nor after a failed load.
    m_store->failList = true;
    QVERIFY(!errorText([&] { lib.load(); }).isEmpty());
    QCOMPARE(errorText([&] { lib.star(ref("x")); }), QStringLiteral("Playlist 'Starred' not found"));
    QCOMPARE(contents(QStringLiteral("Starred.parvik")), QByteArray("#parvik:2\nprecious\n"));
}

void PlaylistLibraryTest::failedWriteKeepsOldFile()
{
    // A file-size limit makes the write fail even for root.
    const QByteArray old("#parvik:2\nold\n");
    put(QStringLiteral("Big.parvik"), old);
    PlaylistLibrary& lib = library();
    lib.load();
    Playlist big(QStringLiteral("Big"), QList<PlaylistTrack>());
    for (int i = 0; i < 2000; ++i)
        big.append(TrackRef(QStringLiteral("vez:track:artist::title %1").arg(i)));

    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const QString error = errorText([&] { lib.save(big); });
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY2(error.startsWith(QStringLiteral("Failed to save playlist 'Big': Failed to write 'Big.parvik': ")),
             qPrintable(error));
    QCOMPARE(contents(QStringLiteral("Big.parvik")), old);
    QCOMPARE(filesOnDisk(), (QStringList{"Big.parvik", "Starred.parvik"}));
    QVERIFY(lib.playlist(QStringLiteral("Big"))->tracks.size() == 1);
}

void PlaylistLibraryTest::readOnlyFolder()
{
    const QByteArray old("#parvik:2\nold\n");
    put(QStringLiteral("Starred.parvik"), emptyFile);
    put(QStringLiteral("A.parvik"), old);
    PlaylistLibrary& lib = library();
    lib.load();
    QFile folder(m_dir->path());
    const QFileDevice::Permissions permissions = folder.permissions();
    QVERIFY(folder.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const auto restore = qScopeGuard([&] { folder.setPermissions(permissions); });
    {
        QFile probe(path(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("This user can write into a read-only folder (root); the file-size limit case covers failed writes");
        }
    }
    QVERIFY(errorText([&] { lib.save(Playlist(QStringLiteral("A"), QList<TrackRef>{ref("new")})); })
                .startsWith(QStringLiteral("Failed to save playlist 'A': Failed to write 'A.parvik': ")));
    QVERIFY(errorText([&] { lib.rename(QStringLiteral("A"), QStringLiteral("B")); })
                .startsWith(QStringLiteral("Failed to save playlist 'B': ")));
    QCOMPARE(contents(QStringLiteral("A.parvik")), old);
    QCOMPARE(filesOnDisk(), (QStringList{"A.parvik", "Starred.parvik"}));
    QCOMPARE(lib.playlist(QStringLiteral("A"))->tracks, QList<PlaylistTrack>{PlaylistTrack(ref("old"))});
}

QTEST_GUILESS_MAIN(PlaylistLibraryTest)
#include "tst_playlistlibrary.moc"
