#include "Rasko/FileHint.h"

#include <QDir>
#include <QtTest>

using namespace vessa;

using OptString = std::optional<QString>;
Q_DECLARE_METATYPE(OptString)

class FileHintTest : public QObject {
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void resolve_data();
    void resolve();
    void encodedPathsResolveBack_data();
    void encodedPathsResolveBack();
    void relativePlaylistPathCountsFromTheWorkingFolder();
};

void FileHintTest::encode_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("hint");
    QTest::newRow("absolute") << "/Music/a.mp3" << "file:///Music/a.mp3";
    QTest::newRow("space") << "/Music/My Song.mp3" << "file:///Music/My%20Song.mp3";
    QTest::newRow("relative") << "Music/a.mp3" << "file://Music/a.mp3";
    QTest::newRow("relative with space") << "Sub Dir/b.flac" << "file://Sub%20Dir/b.flac";
    QTest::newRow("path punctuation stays") << "/a-b._~!$&'()*+,=:@/c" << "file:///a-b._~!$&'()*+,=:@/c";
    QTest::newRow("semicolon") << "/a;b.mp3" << "file:///a%3Bb.mp3";
    QTest::newRow("URL delimiters") << "/a?b#c%d.mp3" << "file:///a%3Fb%23c%25d.mp3";
    QTest::newRow("non-ASCII") << "/Mü/é.mp3" << "file:///M%C3%BC/%C3%A9.mp3";
    QTest::newRow("tab and backslash") << "/a\tb\\c" << "file:///a%09b%5Cc";
    QTest::newRow("empty") << "" << "file://";
}

void FileHintTest::encode()
{
    QFETCH(QString, path);
    QTEST(FileHint::encode(path), "hint");
}

void FileHintTest::resolve_data()
{
    QTest::addColumn<QString>("hint");
    QTest::addColumn<OptString>("playlist");
    QTest::addColumn<int>("form");
    QTest::addColumn<OptString>("path");
    const OptString none;
    const OptString playlist(QStringLiteral("/lists/p.parvik"));
    const int absolute = int(FileHint::Form::absolute);
    const int relative = int(FileHint::Form::relative);
    const int bare = int(FileHint::Form::bare);

    QTest::newRow("absolute") << "file:///Music/a.mp3" << none << absolute << OptString("/Music/a.mp3");
    QTest::newRow("absolute ignores the playlist")
        << "file:///Music/a.mp3" << playlist << absolute << OptString("/Music/a.mp3");
    QTest::newRow("absolute decoded")
        << "file:///Music/My%20Song.mp3" << none << absolute << OptString("/Music/My Song.mp3");
    QTest::newRow("absolute lower-case escape") << "file:///a%3bb" << none << absolute << OptString("/a;b");
    QTest::newRow("absolute UTF-8") << "file:///M%C3%BC.mp3" << none << absolute << OptString("/Mü.mp3");
    QTest::newRow("absolute doubled slash") << "file:////Music/a.mp3" << none << absolute << OptString("/Music/a.mp3");
    QTest::newRow("absolute many slashes") << "file://///Music/a.mp3" << none << absolute << OptString("/Music/a.mp3");
    QTest::newRow("absolute root") << "file:///" << none << absolute << OptString("/");
    QTest::newRow("absolute with space as written")
        << "file:///Music/My Song.mp3" << none << absolute << OptString("/Music/My Song.mp3");
    QTest::newRow("absolute query") << "file:///Music/a.mp3?x=1" << none << absolute << OptString("/Music/a.mp3");
    QTest::newRow("absolute fragment") << "file:///Music/a.mp3#2" << none << absolute << OptString("/Music/a.mp3");
    QTest::newRow("absolute bad escape") << "file:///Music/a%zz.mp3" << none << absolute << none;
    QTest::newRow("absolute cut escape") << "file:///Music/a%2" << none << absolute << none;
    QTest::newRow("absolute escape not UTF-8") << "file:///Music/a%FF.mp3" << none << absolute << none;
    QTest::newRow("absolute NUL escape") << "file:///Music/a%00.mp3" << none << absolute << none;
    QTest::newRow("absolute NUL character")
        << QStringLiteral("file:///Music/a") + QChar(u'\0') + QStringLiteral(".mp3") << none << absolute << none;

    QTest::newRow("relative") << "file://sub/c.flac" << playlist << relative << OptString("/lists/sub/c.flac");
    QTest::newRow("relative decoded")
        << "file://Sub%20Dir/b.flac" << playlist << relative << OptString("/lists/Sub Dir/b.flac");
    QTest::newRow("relative as written")
        << "file://Sub Dir/b.flac" << playlist << relative << OptString("/lists/Sub Dir/b.flac");
    QTest::newRow("relative bad escape kept")
        << "file://100%/a.mp3" << playlist << relative << OptString("/lists/100%/a.mp3");
    QTest::newRow("relative escape not UTF-8 kept")
        << "file://a%FF.mp3" << playlist << relative << OptString("/lists/a%FF.mp3");
    QTest::newRow("relative NUL escape kept")
        << "file://a%00.mp3" << playlist << relative << OptString("/lists/a%00.mp3");
    QTest::newRow("relative question mark") << "file://a?.mp3" << playlist << relative << OptString("/lists/a?.mp3");
    QTest::newRow("relative parent") << "file://../x/a.mp3" << playlist << relative << OptString("/lists/../x/a.mp3");
    QTest::newRow("relative empty") << "file://" << playlist << relative << OptString("/lists/");
    QTest::newRow("relative host-like") << "file://localhost/a.mp3" << playlist << relative
                                        << OptString("/lists/localhost/a.mp3");
    QTest::newRow("relative without playlist") << "file://sub/c.flac" << none << relative << none;
    QTest::newRow("relative with empty playlist") << "file://sub/c.flac" << OptString("") << relative << none;
    QTest::newRow("playlist in root") << "file://a.mp3" << OptString("/p.m3u") << relative << OptString("/a.mp3");
    QTest::newRow("playlist with trailing slash")
        << "file://a.mp3" << OptString("/lists/p.parvik/") << relative << OptString("/lists/a.mp3");

    QTest::newRow("bare") << "sub/b.mp3" << playlist << bare << OptString("/lists/sub/b.mp3");
    QTest::newRow("bare not decoded") << "Sub%20Dir/b.flac" << playlist << bare << OptString("/lists/Sub%20Dir/b.flac");
    QTest::newRow("bare absolute-looking")
        << "/Music/a.mp3" << playlist << bare << OptString("/lists//Music/a.mp3");
    QTest::newRow("bare upper-case head") << "FILE:///a.mp3" << playlist << bare << OptString("/lists/FILE:///a.mp3");
    QTest::newRow("bare one slash") << "file:/a.mp3" << playlist << bare << OptString("/lists/file:/a.mp3");
    QTest::newRow("bare empty") << "" << playlist << bare << OptString("/lists/");
    QTest::newRow("bare without playlist") << "sub/b.mp3" << none << bare << none;
}

void FileHintTest::resolve()
{
    QFETCH(QString, hint);
    QFETCH(OptString, playlist);
    QFETCH(int, form);
    QCOMPARE(int(FileHint::form(hint)), form);
    QTEST(FileHint::resolve(hint, playlist), "path");
}

void FileHintTest::encodedPathsResolveBack_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absolute") << "/Music/My Song #1?.mp3" << "/Music/My Song #1?.mp3";
    QTest::newRow("absolute percent") << "/Music/100% a;b.flac" << "/Music/100% a;b.flac";
    QTest::newRow("absolute non-ASCII") << "/Mü/日本.mp3" << "/Mü/日本.mp3";
    QTest::newRow("relative") << "Sub Dir/b #2.flac" << "/lists/Sub Dir/b #2.flac";
    QTest::newRow("relative percent") << "a%20b.mp3" << "/lists/a%20b.mp3";
}

void FileHintTest::encodedPathsResolveBack()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(FileHint::resolve(FileHint::encode(path), QStringLiteral("/lists/p.parvik")), OptString(expected));
}

void FileHintTest::relativePlaylistPathCountsFromTheWorkingFolder()
{
    QCOMPARE(FileHint::resolve(QStringLiteral("file://a.mp3"), QStringLiteral("lists/p.m3u")),
             OptString(QDir::currentPath() + QStringLiteral("/lists/a.mp3")));
}

QTEST_GUILESS_MAIN(FileHintTest)

#include "tst_filehint.moc"
