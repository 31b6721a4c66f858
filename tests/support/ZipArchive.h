#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QTemporaryDir>
#include <zip.h>

namespace ombrelay::test {

// The bytes of a zip archive holding `entries` (name, content), as libzip writes it.
inline QByteArray zipOf(const QList<QPair<QByteArray, QByteArray>>& entries)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("a.zip")));
    int error = 0;
    zip_t* archive = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        zip_file_add(archive, name.constData(), source, ZIP_FL_ENC_UTF_8);
    }
    zip_close(archive);
    QFile file(QString::fromLocal8Bit(path));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

}  // namespace ombrelay::test
