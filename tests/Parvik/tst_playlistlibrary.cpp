#include "Parvik/PlaylistLibrary.h"
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

// The real folder store, with switches that make its operations fail, and
// optionally a file system that ignores letter case (a file keeps its spelling).
class TestStore : public DestinationPlugin {
public:
    TestStore(const QString& directory, bool ignoresCase)
        : m_folder(QStringLiteral("Library Playlists"), directory), m_dir(directory), m_ignoresCase(ignoresCase)
    {
    }
    QString name() const override { return m_folder.name(); }
    QList<DestinationFileInfo> list(const QString& extension) override
    {
        return failList ? throw StoreFailure(QStringLiteral("listing refused")) : m_folder.list(extension);
    }
    QByteArray read(const QString& fileID) override { return m_folder.read(stored(fileID)); }
    void write(const QString& fileID, const QByteArray& data) override
    {
        failWrites ? throw StoreFailure(QStringLiteral("disk full")) : m_folder.write(stored(fileID), data);
    }
    void remove(const QString& fileID) override
    {
        failRemoves ? throw StoreFailure(QStringLiteral("busy")) : m_folder.remove(stored(fileID));
    }
    bool failList = false, failWrites = false, failRemoves = false;

private:
    QString stored(const QString& fileID) const
    {
        const QStringList entries = m_ignoresCase ? QDir(m_dir).entryList(QDir::Files) : QStringList();
        for (const QString& entry : entries)
            if (entry.toCaseFolded() == fileID.toCaseFolded())
                return entry;
        return fileID;
    }
    LocalFolderDestination m_folder;
    QString m_dir;
    bool m_ignoresCase;
};

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

TrackRef ref(const char* uri) { return TrackRef(QString::fromUtf8(uri)); }

QList<PlaylistTrack> entries(const char* uri) { return {PlaylistTrack(ref(uri))}; }

// {"star", uri}, {"save", name}, {"create", name}, {"rename", from, to} or {"remove", name}.
void run(PlaylistLibrary& lib, const QStringList& command)
{
    const QString& op = command[0];
    if (op == u"star")
        lib.star(TrackRef(command[1]));
    else if (op == u"save")
        lib.save(Playlist(command[1], entries("new")));
    else if (op == u"create")
        lib.create(command[1]);
    else if (op == u"rename")
        lib.rename(command[1], command[2]);
    else
        lib.remove(command[1]);
}

} // namespace

class PlaylistLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { QVERIFY(m_dir.emplace().isValid()); }
    void cleanup()
    {
        m_library.reset();
        m_dir.reset();
    }
    void firstLoadCreatesStarred_data();
    void firstLoadCreatesStarred();
    void orderAndLoadErrors();
    void failedLoadChangesNothing();
    void refusalsWriteNothing_data();
    void refusalsWriteNothing();
    void editing();
    void storeFailures();
    void starAndUnstar();
    void caseInsensitiveStore();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();

private:
    void put(const QString& fileName, const QByteArray& bytes) const
    {
        QFile file(m_dir->filePath(fileName));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    QByteArray contents(const QString& fileName) const
    {
        QFile file(m_dir->filePath(fileName));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QStringList files() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    QStringList names() const
    {
        QStringList result;
        for (const Playlist& playlist : m_library->playlists())
            result.append(playlist.name);
        return result;
    }
    PlaylistLibrary& library(bool ignoresCase = false)
    {
        m_store = std::make_shared<TestStore>(m_dir->path(), ignoresCase);
        m_library.emplace(m_store);
        return *m_library;
    }

    std::optional<QTemporaryDir> m_dir;
    std::shared_ptr<TestStore> m_store;
    std::optional<PlaylistLibrary> m_library;
};

void PlaylistLibraryTest::firstLoadCreatesStarred_data()
{
    QTest::addColumn<QString>("subfolder");
    QTest::newRow("empty folder") << "";
    QTest::newRow("no folder yet") << "new/playlists";
}

void PlaylistLibraryTest::firstLoadCreatesStarred()
{
    QFETCH(QString, subfolder);
    const QString folder = subfolder.isEmpty() ? m_dir->path() : m_dir->filePath(subfolder);
    PlaylistLibrary lib(std::make_shared<LocalFolderDestination>(QStringLiteral("Library Playlists"), folder));
    QStringList signalOrder;
    connect(&lib, &PlaylistLibrary::playlistsChanged, this, [&] { signalOrder << "playlists"; });
    connect(&lib, &PlaylistLibrary::loadErrorsChanged, this, [&] { signalOrder << "loadErrors"; });
    test::LogCapture log;
    lib.load();
    QCOMPARE(lib.playlists().size(), 1);
    QVERIFY(lib.starred().tracks.isEmpty() && lib.loadErrors().isEmpty());
    QCOMPARE(signalOrder, (QStringList{"playlists", "loadErrors"}));
    QFile file(folder + QStringLiteral("/Starred.parvik"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), emptyFile);
    QCOMPARE(log.messages(category), QStringList{"Loaded 1 playlists from Library Playlists"});
    QCOMPARE(log.entries().last().type, QtInfoMsg);
}

void PlaylistLibraryTest::orderAndLoadErrors()
{
    for (const char* name : {"b", "A", "Starred", "starred", "\u00c9mile", "emma", "Zed", "10"})
        put(QString::fromUtf8(name) + QStringLiteral(".parvik"), "#parvik:2\nvez:track:a::t\tfile://t.mp3\n");
    put(QStringLiteral("nohead.parvik"), "just text\n");
    put(QStringLiteral("latin.parvik"), "#parvik:2\t{}\ncaf\xE9\n");
    put(QStringLiteral("newer.parvik"), "#parvik:3\t{}\n");
    put(QStringLiteral("CAPS.PARVIK"), "#parvik:1\nx\n");
    put(QStringLiteral("other.m3u"), "a.mp3\n");
    // Both are named "Mix.PARVIK"; the file the library writes for that name wins.
    put(QStringLiteral("Mix.PARVIK"), "#parvik:2\nold\n");
    put(QStringLiteral("Mix.PARVIK.parvik"), "#parvik:2\nnew\n");
    PlaylistLibrary& lib = library();
    test::LogCapture log;
    lib.load();

    QCOMPARE(names(), (QStringList{"Starred", "10", "A", "b", "CAPS.PARVIK", QString::fromUtf8("\u00c9mile"), "emma",
                                   "Mix.PARVIK", "starred", "Zed"}));
    QCOMPARE(lib.playlist(QStringLiteral("b"))->tracks,
             QList<PlaylistTrack>{PlaylistTrack(ref("vez:track:a::t"), QStringLiteral("file://t.mp3"))});
    QCOMPARE(lib.playlist(QStringLiteral("Mix.PARVIK"))->tracks, entries("new"));
    QMap<QString, QString> reasons;
    QStringList failed;
    for (const PlaylistLoadError& error : lib.loadErrors()) {
        reasons.insert(error.id(), error.errorDescription());
        failed.append(error.name);
    }
    const QString missing = QStringLiteral("Playlist file is empty or missing the #parvik header");
    const QString newer = QStringLiteral("Unsupported playlist file version: 3 (this app supports up to version 2)");
    QCOMPARE(reasons, (QMap<QString, QString>{{"nohead", missing}, {"latin", missing}, {"newer", newer},
                                              {"Mix.PARVIK", "A playlist named 'Mix.PARVIK' already exists"}}));
    QVERIFY(log.contains(category, QStringLiteral("Failed to load playlist 'newer': ") + newer));
    QCOMPARE(log.messages(category).last(),
             QStringLiteral("Loaded 10 playlists from Library Playlists, 4 failed: ") + failed.join(", "));
    QCOMPARE(log.entries().last().type, QtCriticalMsg);

    // create and rename re-sort; a removal keeps the order of the rest.
    lib.create(QStringLiteral("a2"));
    lib.rename(QStringLiteral("Zed"), QStringLiteral("0"));
    lib.remove(QStringLiteral("b"));
    QCOMPARE(names().mid(0, 5), (QStringList{"Starred", "0", "10", "A", "a2"}));
    QCOMPARE(contents(QStringLiteral("Mix.PARVIK")), QByteArray("#parvik:2\nold\n"));
}

void PlaylistLibraryTest::failedLoadChangesNothing()
{
    put(QStringLiteral("x.parvik"), emptyFile);
    PlaylistLibrary& lib = library();
    m_store->failWrites = true;
    QCOMPARE(errorText([&] { lib.load(); }), QStringLiteral("Failed to save playlist 'Starred': disk full"));
    QVERIFY(lib.playlists().isEmpty());
    m_store->failWrites = false;
    put(QStringLiteral("y.parvik"), "junk");
    lib.load();
    m_store->failList = true;
    QSignalSpy changes(&lib, &PlaylistLibrary::playlistsChanged);
    QCOMPARE(errorText([&] { lib.load(); }), QStringLiteral("listing refused"));
    QCOMPARE(names(), (QStringList{"Starred", "x"}));
    QCOMPARE(lib.loadErrors().size(), 1);
    QCOMPARE(changes.count(), 0);
}

// Each row stores files, loads (or not), and runs one command that must be
// refused without touching a stored file.
void PlaylistLibraryTest::refusalsWriteNothing_data()
{
    QTest::addColumn<QStringList>("stored"); // "file name=contents"
    QTest::addColumn<QString>("load");        // "yes", "no", "fails", "ignores case"
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("error");
    const QString starredV3 = QStringLiteral("Starred.parvik=#parvik:3\nvez:track:a::b\n");
    const QString savedV3 = QStringLiteral("Failed to save playlist 'Starred': Unsupported playlist file version: 3 "
                                           "(this app supports up to version 2)");
    const QString broken = QStringLiteral("Road.parvik=#parvik:2.5\nx\n");
    const QString other = QStringLiteral("Other.parvik=#parvik:2\n");
    const auto row = [](const char* name, QStringList stored, const char* load, QStringList command, QString error) {
        QTest::newRow(name) << stored << QString::fromUtf8(load) << command << error;
    };
    row("star before load", {"Starred.parvik=#parvik:2\np\n"}, "no", {"star", "x"}, "Playlist 'Starred' not found");
    row("star after failed load", {"Starred.parvik=#parvik:2\np\n"}, "fails", {"star", "x"}, "Playlist 'Starred' not found");
    row("star into newer Starred", {starredV3}, "yes", {"star", "x"}, savedV3);
    row("save newer Starred", {starredV3}, "yes", {"save", "Starred"}, savedV3);
    row("create over newer Starred", {starredV3}, "yes", {"create", "Starred"}, "A playlist named 'Starred' already exists");
    row("create over failed file", {broken}, "yes", {"create", "Road"}, "A playlist named 'Road' already exists");
    row("rename onto failed file", {broken, other}, "yes", {"rename", "Other", "Road"},
        "A playlist named 'Road' already exists");
    row("save over failed file", {broken}, "yes", {"save", "Road"},
        "Failed to save playlist 'Road': Malformed playlist header: '#parvik:2.5' (expected '#parvik:<version>\\t<json>')");
    row("create over file stored after load", {}, "yes", {"put", "create", "Synced"}, "A playlist named 'Synced' already exists");
    row("rename onto file stored after load", {other}, "yes", {"put", "rename", "Other", "Synced"},
        "A playlist named 'Synced' already exists");
    row("create case twin", {"Mix.parvik=#parvik:2\nkeep\n"}, "ignores case", {"create", "mix"},
        "A playlist named 'mix' already exists");
    row("star over lower-case starred", {"starred.parvik=#parvik:2\nkeep\n"}, "ignores case", {"star", "x"},
        "Failed to save playlist 'Starred': A playlist named 'starred' already exists");
    row("delete Starred", {}, "yes", {"remove", "Starred"}, "The Starred playlist cannot be deleted");
    row("rename Starred", {}, "yes", {"rename", "Starred", "Fav"}, "The Starred playlist cannot be renamed");
    row("rename missing", {}, "yes", {"rename", "nope", "x"}, "Playlist 'nope' not found");
    row("delete missing", {}, "yes", {"remove", "nope"}, "Playlist 'nope' not found");
    row("rename to itself", {other}, "yes", {"rename", "Other", "Other"}, "A playlist named 'Other' already exists");
    const QString nul = QStringLiteral("a") + QChar(u'\0');
    for (const QString& name : {QString(), QStringLiteral(".mix"), QStringLiteral("../up"), nul}) {
        const QString error = QStringLiteral("A playlist cannot be named '%1': a name must not be empty, begin with "
                                             "'.' or contain '/'").arg(name);
        row(qPrintable("create " + name), {}, "yes", {"create", name}, error);
        row(qPrintable("rename to " + name), {other}, "yes", {"rename", "Other", name}, error);
        row(qPrintable("save " + name), {}, "yes", {"save", name}, error);
    }
}

void PlaylistLibraryTest::refusalsWriteNothing()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, load);
    QFETCH(QStringList, command);
    for (const QString& file : stored)
        put(file.section(u'=', 0, 0), file.section(u'=', 1).toUtf8());
    PlaylistLibrary& lib = library(load == u"ignores case");
    m_store->failList = load == u"fails";
    if (load != u"no")
        errorText([&] { lib.load(); });
    if (command.first() == u"put") {
        command.removeFirst();
        put(command.last() + QStringLiteral(".parvik"), "#parvik:2\nsynced\n");
        stored.append(command.last() + QStringLiteral(".parvik=#parvik:2\nsynced\n"));
    }
    const QStringList before = files();
    const QStringList namesBefore = names();
    QTEST(errorText([&] { run(lib, command); }), "error");
    QCOMPARE(files(), before);
    QCOMPARE(names(), namesBefore);
    for (const QString& file : stored)
        QCOMPARE(contents(file.section(u'=', 0, 0)), file.section(u'=', 1).toUtf8());
}

void PlaylistLibraryTest::editing()
{
    put(QStringLiteral("starred.parvik"), "#parvik:2\nx\n");
    PlaylistLibrary& lib = library();
    lib.load();
    test::LogCapture log;
    QSignalSpy changes(&lib, &PlaylistLibrary::playlistsChanged);
    // save of a name that is not in the list writes the file only.
    lib.save(Playlist(QStringLiteral("Loose"), entries("a")));
    QCOMPARE(contents(QStringLiteral("Loose.parvik")), QByteArray("#parvik:2\t{}\na\n"));
    QCOMPARE(changes.count(), 0);
    QCOMPARE(lib.create(QStringLiteral("Mix")).tracks.size(), 0);
    QCOMPARE(contents(QStringLiteral("Mix.parvik")), emptyFile);
    lib.create(QStringLiteral("mix")); // letter case makes another playlist
    changes.clear();
    lib.save(Playlist(QStringLiteral("Mix"), {PlaylistTrack(ref("u"), QStringLiteral("file:///m/u.mp3"))}));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(contents(QStringLiteral("Mix.parvik")), QByteArray("#parvik:2\t{}\nu\tfile:///m/u.mp3\n"));
    QCOMPARE(contents(QStringLiteral("mix.parvik")), emptyFile);
    // "starred" in lower case is an ordinary playlist.
    lib.rename(QStringLiteral("starred"), QStringLiteral("liked"));
    lib.remove(QStringLiteral("liked"));
    lib.remove(QStringLiteral("mix"));
    lib.rename(QStringLiteral("Mix"), QStringLiteral("MIX"));
    QCOMPARE(names(), (QStringList{"Starred", "MIX"}));
    QCOMPARE(lib.playlist(QStringLiteral("MIX"))->tracks.size(), 1);
    QCOMPARE(files(), (QStringList{"Loose.parvik", "MIX.parvik", "Starred.parvik"}));
    QCOMPARE(log.messages(category),
             (QStringList{"Created playlist: Mix", "Created playlist: mix", "Renamed playlist: starred -> liked",
                          "Deleted playlist: liked", "Deleted playlist: mix", "Renamed playlist: Mix -> MIX"}));
}

void PlaylistLibraryTest::storeFailures()
{
    put(QStringLiteral("a.parvik"), "#parvik:2\nt\n");
    PlaylistLibrary& lib = library();
    lib.load();
    test::LogCapture log;
    m_store->failRemoves = true;
    QCOMPARE(errorText([&] { lib.remove(QStringLiteral("a")); }), QStringLiteral("Failed to delete playlist 'a': busy"));
    lib.rename(QStringLiteral("a"), QStringLiteral("z")); // the old file stays
    QCOMPARE(files(), (QStringList{"Starred.parvik", "a.parvik", "z.parvik"}));
    QCOMPARE(log.messages(category),
             (QStringList{"Failed to delete old playlist file 'a': busy", "Renamed playlist: a -> z"}));

    m_store->failWrites = true;
    const auto full = [](const char* name) {
        return QStringLiteral("Failed to save playlist '%1': disk full").arg(QLatin1String(name));
    };
    QCOMPARE(errorText([&] { lib.save(Playlist(QStringLiteral("z"), entries("new"))); }), full("z"));
    QCOMPARE(errorText([&] { lib.rename(QStringLiteral("z"), QStringLiteral("y")); }), full("y"));
    QCOMPARE(errorText([&] { lib.create(QStringLiteral("n")); }), full("n"));
    QCOMPARE(names(), (QStringList{"Starred", "z"}));
    QCOMPARE(lib.playlist(QStringLiteral("z"))->tracks, entries("t"));
}

void PlaylistLibraryTest::starAndUnstar()
{
    put(QStringLiteral("Starred.parvik"), "#parvik:2\none\tfile://one.mp3\n");
    PlaylistLibrary& lib = library();
    lib.load();
    lib.star(ref("one"));
    lib.unstar(ref("nope"));
    QCOMPARE(contents(QStringLiteral("Starred.parvik")), QByteArray("#parvik:2\none\tfile://one.mp3\n"));
    lib.star(ref("two"));
    lib.star(ref("one"));
    lib.unstar(ref("one"));
    QCOMPARE(contents(QStringLiteral("Starred.parvik")), QByteArray("#parvik:2\t{}\ntwo\n"));
    QVERIFY(!lib.isStarred(ref("one")) && lib.isStarred(ref("two")));
    // A failed write reports and keeps the change in memory.
    m_store->failWrites = true;
    QCOMPARE(errorText([&] { lib.star(ref("three")); }), QStringLiteral("Failed to save playlist 'Starred': disk full"));
    QVERIFY(lib.isStarred(ref("three")));
    QCOMPARE(contents(QStringLiteral("Starred.parvik")), QByteArray("#parvik:2\t{}\ntwo\n"));
}

void PlaylistLibraryTest::caseInsensitiveStore()
{
    put(QStringLiteral("Mix.parvik"), "#parvik:2\nkeep\n");
    PlaylistLibrary& lib = library(true);
    lib.load();
    lib.rename(QStringLiteral("Mix"), QStringLiteral("MIX"));
    QCOMPARE(names(), (QStringList{"Starred", "MIX"}));
    QCOMPARE(files(), (QStringList{"Mix.parvik", "Starred.parvik"}));
    QCOMPARE(contents(QStringLiteral("Mix.parvik")), QByteArray("#parvik:2\t{}\nkeep\n"));
}

void PlaylistLibraryTest::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("file-size limit") << false; // fails even for root
    QTest::newRow("read-only folder") << true;
}

void PlaylistLibraryTest::failedWriteKeepsOldFile()
{
    QFETCH(bool, readOnlyFolder);
    put(QStringLiteral("Big.parvik"), "#parvik:2\nold\n");
    PlaylistLibrary& lib = library();
    lib.load();
    Playlist big(QStringLiteral("Big"), QList<PlaylistTrack>());
    for (int i = 0; i < 2000; ++i)
        big.append(TrackRef(QStringLiteral("vez:track:artist::title %1").arg(i)));
    QFile folder(m_dir->path());
    const QFileDevice::Permissions permissions = folder.permissions();
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited{4096, previous.rlim_max};
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const auto restore = qScopeGuard([&] {
        folder.setPermissions(permissions);
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    });
    if (readOnlyFolder) {
        QVERIFY(folder.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFile probe(m_dir->filePath(QStringLiteral("probe"))); probe.open(QIODevice::WriteOnly))
            QSKIP("This user writes into read-only folders (root); the file-size limit covers failed writes");
    } else {
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    const QString error = errorText([&] { lib.save(big); });
    QVERIFY2(error.startsWith(QStringLiteral("Failed to save playlist 'Big': Failed to write 'Big.parvik': ")),
             qPrintable(error));
    if (readOnlyFolder)
        QVERIFY(errorText([&] { lib.rename(QStringLiteral("Big"), QStringLiteral("B")); }).startsWith("Failed to save"));
    QCOMPARE(contents(QStringLiteral("Big.parvik")), QByteArray("#parvik:2\nold\n"));
    QCOMPARE(files(), (QStringList{"Big.parvik", "Starred.parvik"}));
    QCOMPARE(lib.playlist(QStringLiteral("Big"))->tracks, entries("old"));
}

QTEST_GUILESS_MAIN(PlaylistLibraryTest)
#include "tst_playlistlibrary.moc"
