#include "transfers/PathExistenceCache.h"

#include <QFileInfo>

namespace ombrelay {

PathExistenceCache& PathExistenceCache::instance()
{
    static PathExistenceCache shared;
    return shared;
}

bool PathExistenceCache::exists(const QString& path)
{
    if (path.isEmpty())
        return false;
    if (!m_clock.isValid())
        m_clock.start();
    const qint64 now = m_clock.elapsed();
    auto it = m_answers.find(path);
    if (it != m_answers.end() && now - it->checkedAt < kLifetimeMs)
        return it->exists;
    if (m_answers.size() > 4096)
        m_answers.clear();
    const bool found = QFileInfo::exists(path);
    m_answers.insert(path, {found, now});
    return found;
}

}  // namespace ombrelay
