#pragma once

// Picture files in memory, for artwork: one colour all over; and whether a
// picture a test made writes as a file.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

namespace vessa::test {

// The bytes of a `size` picture of `color`, in `format` ("PNG", "JPG", ...).
inline QByteArray imageBytes(QColor color, const char* format = "PNG", QSize size = QSize(8, 6))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Whether `image` (a window's grab) is a whole picture that writes as a PNG
// file: into a temporary folder of its own, which goes with the call.
inline bool savesAsPng(const QImage& image)
{
    QTemporaryDir folder;
    return folder.isValid() && image.save(folder.filePath(QStringLiteral("picture.png")));
}

inline bool savesAsPng(const QPixmap& pixmap)
{
    return savesAsPng(pixmap.toImage());
}

} // namespace vessa::test
