#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace ombrelay::test {

// A file below the tests' source folder (helper scripts, fixtures). Never found through __FILE__: a
// compiler launcher may hand the compiler relative source paths.
inline QString testSourcePath(const QString& relative)
{
    return QDir(QStringLiteral(QT_TESTCASE_SOURCEDIR)).filePath(relative);
}

// Writes `bytes` as the whole file at `path`, making its folder first; false when it could not.
inline bool writeFile(const QString& path, const QByteArray& bytes = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The whole file at `path`; empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A mountinfo text (the kernel's mount table) with one line per mount point.
inline QByteArray mountInfoText(const QStringList& mountPoints)
{
    QByteArray text;
    int id = 20;
    for (const QString& point : mountPoints)
        text += QByteArray::number(id++) + " 1 8:1 / " + point.toUtf8() + " rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    return text;
}

}  // namespace ombrelay::test
