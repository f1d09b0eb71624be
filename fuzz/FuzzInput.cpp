#include "fuzz/FuzzInput.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace vessa::fuzz {

QByteArray FuzzInput::rest() const
{
    return QByteArray(reinterpret_cast<const char*>(m_data + m_taken), static_cast<qsizetype>(m_size - m_taken));
}

QString writeScratchFile(const QByteArray& bytes, const QString& fileName)
{
    static const QTemporaryDir folder;
    const QString path = folder.filePath(fileName);
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
          "the scratch file can be written");
    return path;
}

void check(bool condition, const char* expectation)
{
    if (condition)
        return;
    std::fprintf(stderr, "Broken invariant: %s\n", expectation);
    std::abort();
}

} // namespace vessa::fuzz

// Every target uses FuzzInput, so this file is always linked and libFuzzer
// finds its set-up hook here: the libraries' log lines would bury the
// fuzzer's own output, so Qt messages are dropped.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}
