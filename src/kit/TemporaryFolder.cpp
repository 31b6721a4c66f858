#include "kit/TemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrelay {
namespace {

const QString kTemplate = QStringLiteral("Ombrelay-XXXXXX");

// The folder at `path` itself, never through a link, held by no one else: its descriptor, locked; -1 when
// it is no such folder or a process holds it.
int holdFolder(const QString& path)
{
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

// The name still leads to the folder held (not to one made since under that name).
bool stillNames(int descriptor, const QString& path)
{
    struct stat held, named;
    return ::fstat(descriptor, &held) == 0 && ::lstat(QFile::encodeName(path).constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

std::unique_ptr<TemporaryFolder> TemporaryFolder::create(const QString& parent)
{
    // A launch removing abandoned folders may take a new one between its making and its locking: then
    // another is made.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::unique_ptr<TemporaryFolder> folder(new TemporaryFolder(QDir(parent).filePath(kTemplate)));
        if (!folder->m_folder.isValid()) {
            fprintf(stderr, "*** Could not create the temporary folder: %s\n",
                    qPrintable(folder->m_folder.errorString()));
            return nullptr;
        }
        folder->m_lock = holdFolder(folder->path());
        if (folder->m_lock >= 0 && stillNames(folder->m_lock, folder->path()))
            return folder;
    }
    fprintf(stderr, "*** Could not hold a temporary folder in %s\n", qPrintable(parent));
    return nullptr;
}

TemporaryFolder::~TemporaryFolder()
{
    m_folder.remove();
    if (m_lock >= 0)
        ::close(m_lock);
}

int TemporaryFolder::removeAbandoned(const QString& parent)
{
    // The names kTemplate gives.
    static const QRegularExpression ours(QStringLiteral("^Ombrelay-[A-Za-z0-9]{6}$"));
    int removed = 0;
    const QDir folder(parent);
    const QDir::Filters entries = QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QString& name : folder.entryList(entries)) {
        if (!ours.match(name).hasMatch())
            continue;
        const QString path = folder.filePath(name);
        struct stat info;
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode)
            || info.st_uid != ::geteuid())
            continue;
        const int lock = holdFolder(path);
        if (lock < 0)
            continue;
        if (stillNames(lock, path)) {
            if (QDir(path).removeRecursively())
                ++removed;
            else
                fprintf(stderr, "*** Could not remove the temporary folder %s\n", qPrintable(path));
        }
        ::close(lock);
    }
    return removed;
}

}  // namespace ombrelay
