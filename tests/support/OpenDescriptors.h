#pragma once

#include <QDir>
#include <QFile>
#include <QString>

namespace ombrelay::test {

// The descriptors this process holds open; with a prefix, only those on files whose path starts with it.
inline int openDescriptors(const QString& prefix = {})
{
    const QFileInfoList entries = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    int count = 0;
    for (const QFileInfo& entry : entries)
        if (prefix.isEmpty() || entry.symLinkTarget().startsWith(prefix))
            ++count;
    return count;
}

}  // namespace ombrelay::test
