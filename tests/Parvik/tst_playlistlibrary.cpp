#include "Parvik/PlaylistLibrary.h"
#include "RaskoLocalFile/LocalFolderDestination.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ParvikPrinting.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <ranges>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace vessa;
using namespace Qt::StringLiterals;

namespace {

const QString category = u"com.tornwick.parvik.library"_s;

// The real folder store with switches that make it fail, optionally acting as
// a file system that ignores letter case (a stored file keeps its spelling).
class TestStore : public LocalFolderDestination {
public:
    explicit TestStore(const QString& dir) : LocalFolderDestination(u"Library Playlists"_s, dir), m_dir(dir) {}
    QList<DestinationFileInfo> list(const QString& extension) override
    {
        return failList ? throw std::runtime_error("listing refused") : LocalFolderDestination::list(extension);
    }
    QByteArray read(const QString& fileID) override { return LocalFolderDestination::read(stored(fileID)); }
    void write(const QString& fileID, const QByteArray& data) override
    {
        failWrites ? throw std::runtime_error("disk full") : LocalFolderDestination::write(stored(fileID), data);
    }
    void remove(const QString& fileID) override
    {
        failRemoves ? throw std::runtime_error("busy") : LocalFolderDestination::remove(fileID);
    }
    bool failList = false, failWrites = false, failRemoves = false, ignoresCase = false;

private:
    QString stored(const QString& fileID) const
    {
        for (const QString& entry : ignoresCase ? QDir(m_dir).entryList(QDir::Files) : QStringList())
            if (entry.toCaseFolded() == fileID.toCaseFolded())
                return entry;
        return fileID;
    }
    QString m_dir;
};

template <typename F>
QString errorText(F&& operation)
{
    try {
        operation();
    } catch (const std::exception&) {
        return describeException(std::current_exception());
    }
    return QString();
}

QList<PlaylistTrack> entries(const QString& uri)
{
    return {PlaylistTrack(TrackRef(uri))};
}

// {"load"}, {"star", uri}, {"save", name}, {"create", name}, {"rename", from, to} or {"remove", name}.
void run(PlaylistLibrary& lib, const QStringList& command)
{
    const QString& op = command[0];
    if (op == u"load")
        lib.load();
    else if (op == u"star")
        lib.star(TrackRef(command[1]));
    else if (op == u"save")
        lib.save(Playlist(command[1], entries(u"new"_s)));
    else if (op == u"create")
        lib.create(command[1]);
    else if (op == u"rename")
        lib.rename(command[1], command[2]);
    else
        lib.remove(command[1]);
}

// Sets the entry's own modification time (a link's, not its target's).
bool setAgeInMinutes(const QString& path, int minutes)
{
    const timespec time{QDateTime::currentSecsSinceEpoch() - minutes * 60, 0};
    const timespec times[2] = {time, time};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

class PlaylistLibraryTest : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir;
    std::shared_ptr<TestStore> m_store;
    std::optional<PlaylistLibrary> m_lib;

    // Files are written and compared as "file name=contents".
    void store(const QStringList& files) const
    {
        for (const QString& file : files) {
            QFile out(m_dir->filePath(file.section(u'=', 0, 0)));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file.section(u'=', 1).toUtf8()) > 0);
        }
    }
    QStringList stored(const QString& folder = u"."_s) const
    {
        QStringList files;
        const QDir dir(m_dir->filePath(folder));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile file(dir.filePath(name));
            files << name + u'=' + (file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : u"?"_s);
        }
        return files;
    }
    QStringList names() const
    {
        const auto names = m_lib->playlists() | std::views::transform(&Playlist::name);
        return QStringList(names.begin(), names.end());
    }
    PlaylistLibrary& loaded(bool ignoresCase = false, bool load = true)
    {
        m_store = std::make_shared<TestStore>(m_dir->path());
        m_store->ignoresCase = ignoresCase;
        m_lib.emplace(m_store);
        if (load)
            m_lib->load();
        return *m_lib;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { QVERIFY(m_dir.emplace().isValid()); }
    void cleanup() { m_lib.reset(); }

    void firstLoadCreatesStarred()
    {
        PlaylistLibrary lib(std::make_shared<LocalFolderDestination>(u"Library Playlists"_s, m_dir->filePath(u"a"_s)));
        QStringList signalOrder;
        connect(&lib, &PlaylistLibrary::playlistsChanged, this, [&] { signalOrder << "playlists"; });
        connect(&lib, &PlaylistLibrary::loadErrorsChanged, this, [&] { signalOrder << "loadErrors"; });
        test::LogCapture log;
        lib.load();
        QVERIFY(lib.playlists().size() == 1 && lib.starred().tracks.isEmpty() && lib.loadErrors().isEmpty());
        QCOMPARE(signalOrder, (QStringList{"playlists", "loadErrors"}));
        QCOMPARE(stored(u"a"_s), QStringList{"Starred.parvik=#parvik:2\t{}\n"});
        QCOMPARE(log.messages(category), QStringList{"Loaded 1 playlists from Library Playlists"});
        QCOMPARE(log.entries().last().type, QtInfoMsg);
    }

    // The order ignores letter case in every locale, also in C, which has no
    // collation of its own.
    void orderAndLoadErrors_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("C") << QLocale::c();
    }

    void orderAndLoadErrors()
    {
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
        for (const char* name : {"b", "A", "starred", "\u00c9mile", "emma", "10"})
            store({QString::fromUtf8(name) + u".parvik=#parvik:2\n"_s});
        // Both files are named "Mix.PARVIK"; the file the library writes for that name wins.
        store({"nohead.parvik=just text", "newer.parvik=#parvik:3\t{}\n", "CAPS.PARVIK=#parvik:1\nx\n",
               "other.m3u=a.mp3\n", "Mix.PARVIK=#parvik:2\nold", "Mix.PARVIK.parvik=#parvik:2\nnew"});
        test::LogCapture log;
        PlaylistLibrary& lib = loaded();
        QCOMPARE(names(), (QStringList{"Starred", "10", "A", "b", "CAPS.PARVIK", "\u00c9mile", "emma", "Mix.PARVIK",
                                       "starred"}));
        QCOMPARE(lib.playlist(u"Mix.PARVIK"_s)->tracks, entries(u"new"_s));
        QVERIFY(stored().contains(u"Starred.parvik=#parvik:2\t{}\n"_s)); // "starred" is another playlist
        QMap<QString, QString> reasons;
        QStringList failed;
        for (const PlaylistLoadError& error : lib.loadErrors()) {
            reasons.insert(error.id(), error.errorDescription());
            failed.append(error.name);
        }
        const QString newer = u"Unsupported playlist file version: 3 (this app supports up to version 2)"_s;
        QCOMPARE(reasons, (QMap<QString, QString>{{"nohead", "Playlist file is empty or missing the #parvik header"},
                                                  {"newer", newer},
                                                  {"Mix.PARVIK", "A playlist named 'Mix.PARVIK' already exists"}}));
        QVERIFY(log.contains(category, u"Failed to load playlist 'newer': "_s + newer));
        QCOMPARE(log.messages(category).last(),
                 "Loaded 9 playlists from Library Playlists, 3 failed: " + failed.join(u", "));
        QCOMPARE(log.entries().last().type, QtCriticalMsg);
        // create and rename re-sort; a removal keeps the order of the rest.
        lib.create(u"a2"_s);
        lib.rename(u"emma"_s, u"0"_s);
        lib.remove(u"b"_s);
        QCOMPARE(names().mid(0, 6), (QStringList{"Starred", "0", "10", "A", "a2", "CAPS.PARVIK"}));
    }

    // Each row stores files ("+" ones after the load), loads, and runs one
    // command that must be refused without changing a file or the lists.
    void refusalsChangeNothing_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("load"); // "yes", "no", "ignores case", or what fails before or ("then") after it
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, QStringList files, const char* load, QStringList command, QString error) {
            QTest::newRow(name) << files << QString::fromUtf8(load) << command << error;
        };
        const auto exists = [](const QString& name) { return u"A playlist named '%1' already exists"_s.arg(name); };
        const auto full = [](const QString& name) { return u"Failed to save playlist '%1': disk full"_s.arg(name); };
        const QString starred = u"Starred.parvik=#parvik:2\np\n"_s, starredV3 = u"Starred.parvik=#parvik:3\np\n"_s;
        const QString savedV3 = u"Failed to save playlist 'Starred': Unsupported playlist file version: 3 (this app "
                                "supports up to version 2)"_s;
        const QString broken = u"Road.parvik=#parvik:2.5\nx\n"_s, other = u"Other.parvik=#parvik:2\n"_s;
        const QString synced = u"+Synced.parvik=#parvik:2\nsynced\n"_s;
        row("listing fails", {other}, "then listing fails", {"load"}, "listing refused");
        row("writing Starred fails in load", {other}, "writes fail", {"load"}, full("Starred"));
        row("star before load", {starred}, "no", {"star", "x"}, "Playlist 'Starred' not found");
        row("star after failed load", {starred}, "listing fails", {"star", "x"},
            "Failed to save playlist 'Starred': listing refused");
        row("star into newer Starred", {starredV3}, "yes", {"star", "x"}, savedV3);
        row("save newer Starred", {starredV3}, "yes", {"save", "Starred"}, savedV3);
        row("create newer Starred", {starredV3}, "yes", {"create", "Starred"}, exists("Starred"));
        row("create failed file", {broken}, "yes", {"create", "Road"}, exists("Road"));
        row("rename onto failed file", {broken, other}, "yes", {"rename", "Other", "Road"}, exists("Road"));
        row("save failed file", {broken}, "yes", {"save", "Road"},
            "Failed to save playlist 'Road': Malformed playlist header: '#parvik:2.5' (expected "
            "'#parvik:<version>\\t<json>')");
        row("create file stored later", {synced}, "yes", {"create", "Synced"}, exists("Synced"));
        row("rename onto file stored later", {other, synced}, "yes", {"rename", "Other", "Synced"}, exists("Synced"));
        row("create case twin", {"Mix.parvik=#parvik:2\n"}, "ignores case", {"create", "mix"}, exists("mix"));
        row("star over lower-case starred", {"starred.parvik=#parvik:2\nkeep\n"}, "ignores case", {"star", "x"},
            "Failed to save playlist 'Starred': " + exists("starred"));
        row("delete Starred", {}, "yes", {"remove", "Starred"}, "The Starred playlist cannot be deleted");
        row("rename Starred", {}, "yes", {"rename", "Starred", "Fav"}, "The Starred playlist cannot be renamed");
        row("rename missing", {}, "yes", {"rename", "nope", "x"}, "Playlist 'nope' not found");
        row("delete missing", {}, "yes", {"remove", "nope"}, "Playlist 'nope' not found");
        row("rename to itself", {other}, "yes", {"rename", "Other", "Other"}, exists("Other"));
        row("save fails", {other}, "then writes fail", {"save", "Other"}, full("Other"));
        row("create fails", {}, "then writes fail", {"create", "New"}, full("New"));
        row("rename fails", {other}, "then writes fail", {"rename", "Other", "New"}, full("New"));
        row("delete fails", {other}, "then removes fail", {"remove", "Other"},
            u"Failed to delete playlist 'Other': busy"_s);
        const auto invalid = [](const QString& name) {
            return u"A playlist cannot be named '%1': a name must not be empty, begin with '.' or contain '/'"_s.arg(
                name);
        };
        for (const QString& name : {QString(), u".mix"_s, u"../up"_s, u"a\0b"_s})
            row(qPrintable("create " + name), {}, "yes", {"create", name}, invalid(name));
        row("rename to an empty name", {other}, "yes", {"rename", "Other", ""}, invalid(""));
        row("save a/b", {}, "yes", {"save", "a/b"}, invalid("a/b"));
    }

    void refusalsChangeNothing()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, load);
        QFETCH(QStringList, command);
        const auto makeFail = [&] {
            m_store->failList = load.endsWith(u"listing fails");
            m_store->failWrites = load.endsWith(u"writes fail");
            m_store->failRemoves = load.endsWith(u"removes fail");
        };
        QStringList early, late;
        for (const QString& file : files)
            (file.startsWith(u'+') ? late : early) << file.mid(file.startsWith(u'+') ? 1 : 0);
        store(early);
        loaded(load == u"ignores case", false);
        if (!load.startsWith(u"then "))
            makeFail();
        if (load != u"no")
            errorText([&] { m_lib->load(); });
        makeFail();
        store(late);
        const QStringList filesBefore = stored(), namesBefore = names();
        const qsizetype errorsBefore = m_lib->loadErrors().size();
        QTEST(errorText([&] { run(*m_lib, command); }), "error");
        QCOMPARE(stored(), filesBefore);
        QCOMPARE(names(), namesBefore);
        QCOMPARE(m_lib->loadErrors().size(), errorsBefore);
        for (const QString& file : early + late)
            QVERIFY2(filesBefore.contains(file), qPrintable(file));
    }

    void editing()
    {
        store({"Starred.parvik=#parvik:2\none\tfile://one.mp3\n", "starred.parvik=#parvik:2\nx\n"});
        PlaylistLibrary& lib = loaded();
        test::LogCapture log;
        QSignalSpy changes(&lib, &PlaylistLibrary::playlistsChanged);
        lib.star(TrackRef(u"one"_s)); // already starred: nothing is written
        lib.unstar(TrackRef(u"nope"_s));
        lib.save(Playlist(u"Loose"_s, entries(u"a"_s))); // not in the list: the file only
        QCOMPARE(changes.count(), 0);
        QVERIFY(lib.create(u"Mix"_s).tracks.isEmpty());
        lib.create(u"mix"_s); // letter case makes another playlist
        changes.clear();
        lib.save(Playlist(u"mix"_s, {PlaylistTrack(TrackRef(u"u"_s), u"file:///m/u.mp3"_s)}));
        QCOMPARE(changes.count(), 1);
        QVERIFY(stored().contains(u"Starred.parvik=#parvik:2\none\tfile://one.mp3\n"_s));
        lib.star(TrackRef(u"two"_s));
        lib.unstar(TrackRef(u"one"_s));
        lib.rename(u"starred"_s, u"liked"_s); // an ordinary playlist
        lib.remove(u"liked"_s);
        m_store->failRemoves = true; // the rename still succeeds; the old file stays
        lib.rename(u"mix"_s, u"MIX"_s);
        QCOMPARE(names(), (QStringList{"Starred", "Mix", "MIX"})); // equal in the collation: order kept
        QCOMPARE(stored(),
                 (QStringList{"Loose.parvik=#parvik:2\t{}\na\n", "MIX.parvik=#parvik:2\t{}\nu\tfile:///m/u.mp3\n",
                              "Mix.parvik=#parvik:2\t{}\n", "Starred.parvik=#parvik:2\t{}\ntwo\n",
                              "mix.parvik=#parvik:2\t{}\nu\tfile:///m/u.mp3\n"}));
        QCOMPARE(log.messages(category),
                 (QStringList{"Created playlist: Mix", "Created playlist: mix", "Renamed playlist: starred -> liked",
                              "Deleted playlist: liked", "Failed to delete old playlist file 'mix': busy",
                              "Renamed playlist: mix -> MIX"}));
        // A failed star or unstar reports and changes nothing: what is shown is what is saved.
        m_store->failWrites = true;
        QCOMPARE(errorText([&] { lib.star(TrackRef(u"three"_s)); }), u"Failed to save playlist 'Starred': disk full"_s);
        QCOMPARE(errorText([&] { lib.unstar(TrackRef(u"two"_s)); }), u"Failed to save playlist 'Starred': disk full"_s);
        QVERIFY(!lib.isStarred(TrackRef(u"three"_s)) && lib.isStarred(TrackRef(u"two"_s)));
    }

    // On a store that ignores case, renaming to another spelling keeps the one file.
    void caseInsensitiveRename()
    {
        store({"Mix.parvik=#parvik:2\nu\n"});
        loaded(true).rename(u"Mix"_s, u"MIX"_s);
        QCOMPARE(names(), (QStringList{"Starred", "MIX"}));
        QCOMPARE(stored(), (QStringList{"Mix.parvik=#parvik:2\t{}\nu\n", "Starred.parvik=#parvik:2\t{}\n"}));
    }

    // A save writes a temporary file ("<file>.parvik." and six letters) and
    // renames it; one that an interrupted save left goes after ten minutes.
    void interruptedSavesAreCleared_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("kind"); // file, folder, link, or file that cannot be removed
        QTest::addColumn<int>("ageInMinutes");
        QTest::addColumn<bool>("removed");
        const auto row = [](const char* name, const QString& entry, const char* kind, int age, bool removed) {
            QTest::newRow(name) << entry << QString::fromUtf8(kind) << age << removed;
        };
        row("stale", u"Mix.parvik.AbCdEf"_s, "file", 11, true);
        row("stale, of a playlist never saved", u"New One.parvik.zzzzZz"_s, "file", 60 * 24, true);
        row("stale, of a name with dots", u"a.b.parvik.ZZZZzZ"_s, "file", 11, true);
        row("young: a save may still run", u"Mix.parvik.AbCdEf"_s, "file", 9, false);
        row("just written", u"Mix.parvik.AbCdEf"_s, "file", 0, false);
        row("dated in the future", u"Mix.parvik.AbCdEf"_s, "file", -60, false);
        row("a word in lower case", u"Mix.parvik.backup"_s, "file", 11, false);
        row("a word in capitals", u"Mix.parvik.BACKUP"_s, "file", 11, false);
        row("seven letters", u"Mix.parvik.backups"_s, "file", 11, false);
        row("five letters", u"Mix.parvik.backu"_s, "file", 11, false);
        row("a digit", u"Mix.parvik.AbC1Ef"_s, "file", 11, false);
        row("a letter beyond ASCII", u"Mix.parvik.AbCéEf"_s, "file", 11, false);
        row("another extension", u"Mix.m3u.AbCdEf"_s, "file", 11, false);
        row("extension in capitals", u"Mix.PARVIK.AbCdEf"_s, "file", 11, false);
        row("no extension", u"Mix.AbCdEf"_s, "file", 11, false);
        row("no name", u".parvik.AbCdEf"_s, "file", 11, false);
        row("hidden", u".Mix.parvik.AbCdEf"_s, "file", 11, false);
        row("more after the letters", u"Mix.parvik.AbCdEf.bak"_s, "file", 11, false);
        row("folder", u"Old.parvik.AbCdEf"_s, "folder", 11, false);
        row("link", u"Old.parvik.AbCdEf"_s, "link", 11, false);
        row("stale, cannot be removed", u"Mix.parvik.AbCdEf"_s, "file that cannot be removed", 11, false);
    }

    void interruptedSavesAreCleared()
    {
        QFETCH(QString, entry);
        QFETCH(QString, kind);
        QFETCH(int, ageInMinutes);
        QFETCH(bool, removed);
        store({"Mix.parvik=#parvik:2\nu\n", "Notes.txt=notes"});
        const QString path = m_dir->filePath(entry);
        if (kind == u"folder")
            QVERIFY(QDir(m_dir->path()).mkdir(entry));
        else if (kind == u"link")
            QVERIFY(QFile::link(u"Notes.txt"_s, path));
        else
            store({entry + u"=#parvik:2\npartly writ"_s});
        QVERIFY(setAgeInMinutes(path, ageInMinutes));
        for (const QString& old : {u"Mix.parvik"_s, u"Notes.txt"_s})
            QVERIFY(setAgeInMinutes(m_dir->filePath(old), 60));
        const QStringList othersBefore = stored().filter(QRegularExpression(u"^(Mix\\.parvik|Notes\\.txt)="_s));

        test::LogCapture log;
        loaded(false, false);
        m_store->failRemoves = kind == u"file that cannot be removed";
        m_lib->load();
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), !removed);
        QCOMPARE(stored().filter(QRegularExpression(u"^(Mix\\.parvik|Notes\\.txt)="_s)), othersBefore);
        QCOMPARE(names(), (QStringList{"Starred", "Mix"}));
        QVERIFY(m_lib->loadErrors().isEmpty());
        QStringList expected;
        if (removed)
            expected << u"Removed temporary file of an interrupted save: "_s + entry;
        if (m_store->failRemoves)
            expected << u"Failed to remove temporary file '%1': busy"_s.arg(entry);
        expected << u"Loaded 2 playlists from Library Playlists"_s;
        QCOMPARE(log.messages(category), expected);
    }

    void failedWriteKeepsOldFile_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("file-size limit") << false; // fails even for root
        QTest::newRow("read-only folder") << true;
    }

    void failedWriteKeepsOldFile()
    {
        QFETCH(bool, readOnlyFolder);
        store({"Big.parvik=#parvik:2\nold\n"});
        PlaylistLibrary& lib = loaded();
        const QStringList before = stored();
        QFile folder(m_dir->path());
        const QFileDevice::Permissions permissions = folder.permissions();
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const rlimit limited{4096, previous.rlim_max};
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&] {
            folder.setPermissions(permissions);
            setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, previousHandler);
        });
        if (readOnlyFolder) {
            QVERIFY(folder.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            if (QFile(m_dir->filePath(u"probe"_s)).open(QIODevice::WriteOnly))
                QSKIP("This user writes into read-only folders (root); the file-size limit covers failed writes");
        } else {
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        }
        const QString error = errorText([&] { lib.save(Playlist(u"Big"_s, entries(QString(40000, u'x')))); });
        QVERIFY2(error.startsWith(u"Failed to save playlist 'Big': Failed to write 'Big.parvik':"_s),
                 qPrintable(error));
        QCOMPARE(stored(), before); // no temporary file left behind
        QCOMPARE(lib.playlist(u"Big"_s)->tracks, entries(u"old"_s));
    }
};

QTEST_GUILESS_MAIN(PlaylistLibraryTest)
#include "tst_playlistlibrary.moc"
