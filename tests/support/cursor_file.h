// Writes a small, valid .cur file (an ICO image whose type field says cursor).
#pragma once

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <string>

namespace testsupport {

inline bool WriteCursorFile(const std::string& path)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(QColor(200, 40, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "ICO") || bytes.size() < 6)
        return false;
    bytes[2] = 2;  // 1 = icon, 2 = cursor
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace testsupport
