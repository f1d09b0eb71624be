#pragma once

// Picture files in memory, for artwork: one colour all over.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

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

} // namespace vessa::test
