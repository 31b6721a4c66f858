#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace ombrelay {

// A run's private temporary folder ("Ombrelay-XXXXXX", mode 0700), held under an flock for as long as the
// run lasts: the kernel lets go of it when the process ends, however it ends, so a folder nobody holds
// is one a run left behind.
class TemporaryFolder
{
public:
    // Made and held in `parent`; null when it cannot be made.
    static std::unique_ptr<TemporaryFolder> create(const QString& parent);
    ~TemporaryFolder();  // removes it with everything in it

    QString path() const { return m_folder.path(); }

    // Removes the folders in `parent` that runs of this user left: named as ours, real folders (not
    // links) owned by this user, held by no running process. Answers how many went.
    static int removeAbandoned(const QString& parent);

private:
    explicit TemporaryFolder(const QString& templatePath) : m_folder(templatePath) {}

    QTemporaryDir m_folder;
    int m_lock = -1;
};

}  // namespace ombrelay
