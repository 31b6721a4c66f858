#include "engine/torrent/OBLine.h"

#include "kit/AppPaths.h"
#include "kit/MediaTypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

namespace ombrelay {

OBLine::~OBLine() = default;

OBLine* OBLine::appendChild(std::unique_ptr<OBLine> child)
{
    m_children.push_back(std::move(child));
    return m_children.back().get();
}

OBLine* OBLine::childWithPath(const QString& name) const
{
    for (const auto& child : m_children)
        if (child->path() == name)
            return child.get();
    return nullptr;
}

quint64 OBLine::fileLength() const
{
    if (isLeaf())
        return byteRange().length;
    quint64 sum = 0;
    for (const auto& child : m_children)
        sum += child->fileLength();
    return sum;
}

QString OBLine::pathExtension() const
{
    return QFileInfo(path()).suffix().toLower();
}

qint64 OBLine::fileCount() const
{
    if (isLeaf())
        return 1;
    qint64 count = 0;
    for (const auto& child : m_children)
        count += child->fileCount();
    return count;
}

QList<OBLine*> OBLine::childrenFlat() const
{
    if (isLeaf())
        return {const_cast<OBLine*>(this)};
    QList<OBLine*> flat;
    for (const auto& child : m_children)
        flat += child->childrenFlat();
    return flat;
}

QString OBLine::filesTextShort() const
{
    if (m_filesTextShort.isNull()) {
        const qint64 count = fileCount();
        m_filesTextShort = count < 2 ? QCoreApplication::translate("OBLine", "1 file")
                                     : QCoreApplication::translate("OBLine", "%1 files").arg(count);
    }
    return m_filesTextShort;
}

QString OBLine::filesText() const
{
    if (!m_filesText.isNull())
        return m_filesText;
    if (isLeaf())
        return m_filesText = QCoreApplication::translate("OBLine", "1 file");

    struct Group
    {
        QString extension;
        qint64 files = 0;
        quint64 bytes = 0;
    };
    std::vector<Group> groups;
    QHash<QString, size_t> byExtension;
    qint64 total = 0;
    for (const OBLine* line : childrenFlat()) {
        const QString extension = line->pathExtension();
        auto it = byExtension.find(extension);
        if (it == byExtension.end()) {
            it = byExtension.insert(extension, groups.size());
            groups.push_back({extension});
        }
        groups[*it].files += 1;
        groups[*it].bytes += line->fileLength();
        ++total;
    }
    std::sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
        if (a.bytes != b.bytes)
            return a.bytes > b.bytes;
        if (a.files != b.files)
            return a.files > b.files;
        return a.extension < b.extension;
    });

    const Group& first = groups.front();
    const QString upper = first.extension.toUpper();
    QString text = first.files == 1 ? QStringLiteral("1 %1 file").arg(upper)
                                    : QStringLiteral("%1 %2 files").arg(first.files).arg(upper);
    const qint64 others = total - first.files;
    if (others == 1)
        text += QStringLiteral(", 1 other");
    else if (others > 1)
        text += QStringLiteral(", %1 others").arg(others);
    return m_filesText = text;
}

QString OBLine::previewCopySource() const
{
    return !isComplete() && isMusic(pathExtension()) ? fullPath() : QString();
}

QUrl OBLine::previewItemURL() const
{
    if (previewCopySource().isEmpty())
        return QUrl::fromLocalFile(fullPath());
    const QString folder = AppPaths::temporaryDirectory();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {};
    const QString copy = QDir(folder).filePath(path());
    if (QFileInfo(copy).dir().absolutePath() != QDir(folder).absolutePath())
        return {};  // path() is one plain component; anything else stays out of the folder
    return QUrl::fromLocalFile(copy);
}

bool OBLine::makePreviewCopy(const QString& source, const QUrl& copy)
{
    const QString target = copy.toLocalFile();
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(source, part))
        return false;
    QFile::remove(target);
    return QFile::rename(part, target);
}

int OBLine::compareTransferColumn(const OBLine&) const
{
    return 0;
}

int OBLine::compareProgressColumn(const OBLine&) const
{
    return 0;
}

int OBLine::compareTimeColumn(const OBLine&) const
{
    return 0;
}

}  // namespace ombrelay
