#pragma once

// Builds ZIP archives for tests with libzip: files (stored or deflated),
// folder entries and symbolic links. Users link PkgConfig::LIBZIP.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <sys/stat.h>
#include <zip.h>

#include <stdexcept>
#include <string>

namespace vessa::test {

class ZipFixture {
public:
    enum class Compression { stored, deflated };

    ZipFixture& addFile(const QString& name, const QByteArray& bytes, Compression compression = Compression::deflated)
    {
        return add({Kind::file, name, bytes, compression});
    }
    // A folder entry; libzip stores it as the name with "/" appended.
    ZipFixture& addFolder(const QString& name) { return add({Kind::folder, name, {}, Compression::stored}); }
    // A Unix symbolic link whose content is the link's target.
    ZipFixture& addSymlink(const QString& name, const QByteArray& target)
    {
        return add({Kind::symlink, name, target, Compression::stored});
    }

    // Writes the archive to `path`, replacing any file there. Throws
    // std::runtime_error with libzip's message on failure.
    void write(const QString& path) const
    {
        int code = 0;
        zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
        if (!archive)
            throw std::runtime_error("cannot create archive " + path.toStdString());
        for (const Member& member : m_members) {
            const QByteArray name = member.name.toUtf8();
            if (member.kind == Kind::folder) {
                if (zip_dir_add(archive, name.constData(), ZIP_FL_ENC_UTF_8) < 0)
                    fail(archive);
                continue;
            }
            // The bytes stay alive in this object until zip_close below.
            const auto size = zip_uint64_t(member.bytes.size());
            zip_source_t* source = zip_source_buffer(archive, member.bytes.constData(), size, 0);
            const zip_int64_t index = source ? zip_file_add(archive, name.constData(), source, ZIP_FL_ENC_UTF_8) : -1;
            if (index < 0) {
                zip_source_free(source);
                fail(archive);
            }
            const auto at = zip_uint64_t(index);
            const zip_int32_t method = member.compression == Compression::stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
            if (zip_set_file_compression(archive, at, method, 0) != 0
                || (member.kind == Kind::symlink
                    && zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX, (S_IFLNK | 0777u) << 16) != 0))
                fail(archive);
        }
        if (zip_close(archive) != 0)
            fail(archive);
    }

    // The archive's bytes (written through the file at `scratchPath`).
    QByteArray bytes(const QString& scratchPath) const
    {
        write(scratchPath);
        QFile file(scratchPath);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read back " + scratchPath.toStdString());
        return file.readAll();
    }

private:
    enum class Kind { file, folder, symlink };
    struct Member {
        Kind kind;
        QString name;
        QByteArray bytes;
        Compression compression;
    };

    ZipFixture& add(Member member)
    {
        m_members.append(std::move(member));
        return *this;
    }

    [[noreturn]] static void fail(zip_t* archive)
    {
        const std::string message = zip_strerror(archive);
        zip_discard(archive);
        throw std::runtime_error("libzip: " + message);
    }

    QList<Member> m_members;
};

} // namespace vessa::test
