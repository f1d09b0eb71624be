#include "VessaCore/DecimalInteger.h"
#include "VessaCore/PathExtension.h"
#include "VessaCore/PercentEncoding.h"
#include "VessaCore/Utf8.h"

#include <QtTest>

using namespace vessa;

using OptInt = std::optional<qint64>;
using OptString = std::optional<QString>;
Q_DECLARE_METATYPE(OptInt)
Q_DECLARE_METATYPE(OptString)

class TextParsingTest : public QObject {
    Q_OBJECT

private slots:
    void pathExtensions_data();
    void pathExtensions();
    void decimalIntegers_data();
    void decimalIntegers();
    void strictUtf8_data();
    void strictUtf8();
    void percentDecoding_data();
    void percentDecoding();
};

void TextParsingTest::pathExtensions_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension");
    QTest::newRow("plain") << "/music/a/Song.FLAC" << "FLAC";
    QTest::newRow("two dots") << "/x/archive.tar.gz" << "gz";
    QTest::newRow("none") << "/music/README" << "";
    QTest::newRow("dot in folder only") << "/music.d/README" << "";
    QTest::newRow("hidden file") << "/music/.mp3" << "";
    QTest::newRow("hidden file with extension") << "/music/.hidden.mp3" << "mp3";
    QTest::newRow("trailing dot") << "/music/song." << "";
    QTest::newRow("trailing slash") << "/music/album.zip/" << "zip";
    QTest::newRow("relative") << "a.b" << "b";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("root") << "/" << "";
}

void TextParsingTest::pathExtensions()
{
    QFETCH(QString, path);
    QTEST(pathExtension(path), "extension");
}

void TextParsingTest::decimalIntegers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptInt>("value");
    QTest::newRow("zero") << "0" << OptInt(0);
    QTest::newRow("plus") << "+5" << OptInt(5);
    QTest::newRow("minus") << "-5" << OptInt(-5);
    QTest::newRow("leading zeros") << "007" << OptInt(7);
    QTest::newRow("maximum") << "9223372036854775807" << OptInt(std::numeric_limits<qint64>::max());
    QTest::newRow("minimum") << "-9223372036854775808" << OptInt(std::numeric_limits<qint64>::min());
    QTest::newRow("overflow") << "9223372036854775808" << OptInt();
    QTest::newRow("underflow") << "-9223372036854775809" << OptInt();
    QTest::newRow("huge") << "99999999999999999999999" << OptInt();
    QTest::newRow("empty") << "" << OptInt();
    QTest::newRow("sign only") << "-" << OptInt();
    QTest::newRow("double sign") << "+-1" << OptInt();
    QTest::newRow("space") << " 1" << OptInt();
    QTest::newRow("trailing space") << "1 " << OptInt();
    QTest::newRow("decimal point") << "5.0" << OptInt();
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("\xD9\xA3") << OptInt();
    QTest::newRow("fullwidth digit") << QString::fromUtf8("\xEF\xBC\x93") << OptInt();
}

void TextParsingTest::decimalIntegers()
{
    QFETCH(QString, text);
    QTEST(parseDecimalInt64(text), "value");
}

void TextParsingTest::strictUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ascii") << QByteArray("abc") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("e acute") << QByteArray("\xC3\xA9") << true;
    QTest::newRow("astral") << QByteArray("\xF0\x9F\x8E\xB5") << true;
    QTest::newRow("max code point") << QByteArray("\xF4\x8F\xBF\xBF") << true;
    QTest::newRow("lone continuation") << QByteArray("\x80") << false;
    QTest::newRow("latin-1") << QByteArray("caf\xE9") << false;
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << false;
    QTest::newRow("overlong three") << QByteArray("\xE0\x80\xAF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("above max") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("truncated") << QByteArray("\xE2\x82") << false;
    QTest::newRow("FF") << QByteArray("\xFF") << false;
}

void TextParsingTest::strictUtf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(isValidUtf8(bytes), valid);
    QCOMPARE(decodeUtf8Strict(bytes).has_value(), valid);
}

void TextParsingTest::percentDecoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptString>("decoded");
    QTest::newRow("plain") << "abc" << OptString("abc");
    QTest::newRow("space") << "a%20b" << OptString("a b");
    QTest::newRow("utf-8") << "%C3%A9t%c3%a9" << OptString(QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
    QTest::newRow("bare percent") << "100%" << OptString();
    QTest::newRow("one digit") << "%4" << OptString();
    QTest::newRow("not hex") << "%G1" << OptString();
    QTest::newRow("not utf-8") << "%FF" << OptString();
    QTest::newRow("plus") << "a+b" << OptString("a+b");
    QTest::newRow("raw non-ascii kept") << QString::fromUtf8("\xC3\xA9%20") << OptString(QString::fromUtf8("\xC3\xA9 "));
}

void TextParsingTest::percentDecoding()
{
    QFETCH(QString, text);
    QTEST(percentDecode(text), "decoded");
    if (std::optional<QString> decoded = percentDecode(text))
        QCOMPARE(percentDecode(percentEncode(*decoded, u"")), decoded);
}

QTEST_GUILESS_MAIN(TextParsingTest)
#include "tst_textparsing.moc"
