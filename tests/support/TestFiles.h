#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

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

}  // namespace ombrelay::test
