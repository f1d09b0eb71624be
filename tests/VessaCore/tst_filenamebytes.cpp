#include "VessaCore/FileNameBytes.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace vessa;

class TestFileNameBytes : public QObject {
    Q_OBJECT

private slots:
    // Every name round-trips to its own bytes; a UTF-8 name is its plain text,
    // and only bytes outside valid UTF-8 sequences are escaped.
    void roundTrips_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("readable");
        const QString utf8 = QString::fromUtf8("Ñandú/東京 Señorita 🎵.flac");
        QTest::newRow("utf-8") << utf8.toUtf8() << utf8 << utf8;
        QTest::newRow("empty") << QByteArray() << QString() << QString();
        QTest::newRow("latin-1") << QByteArray("Caf\xe9.mp3") << QString::fromUtf16(u"Caf\xdce9.mp3")
                                 << QString::fromUtf16(u"Café.mp3");
        QTest::newRow("byte-order bytes")
            << QByteArray("\xff\xfe-bad.mp3") << QString::fromUtf16(u"\xdcff\xdcfe-bad.mp3")
            << QString::fromUtf16(u"ÿþ-bad.mp3");
        // An encoded surrogate and an overlong slash are not UTF-8 either.
        QTest::newRow("encoded surrogate") << QByteArray("a\xed\xb2\x80") << QString::fromUtf16(u"a\xdced\xdcb2\xdc80")
                                           << QString::fromLatin1("a\xed\xb2\x80");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QString::fromUtf16(u"\xdcc0\xdcaf")
                                        << QString::fromLatin1("\xc0\xaf");
        QTest::newRow("truncated sequence")
            << QByteArray("x\xe6\x9d") << QString::fromUtf16(u"x\xdce6\xdc9d") << QString::fromLatin1("x\xe6\x9d");
        // Valid sequences around a bad byte stay characters.
        QTest::newRow("mixed") << QByteArray("\xc3\xa9\xe9\xc3\xa9") << QString::fromUtf16(u"é\xdce9é")
                               << QString::fromLatin1("\xc3\xa9\xe9\xc3\xa9");
        // U+1F080 is the surrogate pair D83C DC80: a character, not an escape.
        const QString pair = QString::fromUcs4(U"\U0001F080");
        QTest::newRow("pair ending like an escape") << pair.toUtf8() << pair << pair;
    }

    void roundTrips()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QString, readable);
        QCOMPARE(pathFromBytes(bytes), text);
        QCOMPARE(pathToBytes(text), bytes);
        QCOMPARE(hasUndecodedBytes(text), text != readable);
        QCOMPARE(readableName(text), readable);
    }

    void existsFindsNamesThatAreNotUtf8()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray raw = QFile::encodeName(dir.path()) + "/Caf\xe9.mp3";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        const QString path = pathFromBytes(raw);
        QVERIFY(pathExists(path));
        QVERIFY(!pathExists(dir.path() + QString::fromUtf8("/Café.mp3")));
        QVERIFY(!pathExists(QString()));
    }
};

QTEST_GUILESS_MAIN(TestFileNameBytes)
#include "tst_filenamebytes.moc"
