#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

namespace vessa::test {

// Writes a file whole, making its folders first; fails the test when it cannot.
inline void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

// Puts a file where a folder was, so that writing into the folder fails
// whoever runs the test (root too).
inline void replaceFolderWithFile(const QString& folder)
{
    QVERIFY(QDir(folder).removeRecursively());
    writeFile(folder, "a file where a folder should be");
}

// A file's bytes, or "<missing>" when it cannot be read.
inline QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<missing>");
}

} // namespace vessa::test
