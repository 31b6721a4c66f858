#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>

namespace ombrelay {

// Whether paths exist, asked while drawing: each answer is kept about a second, so a redraw of many
// rows costs no disk access and a hung mount costs at most one stat a second per path.
class PathExistenceCache
{
public:
    static PathExistenceCache& instance();
    static constexpr qint64 kLifetimeMs = 1000;

    bool exists(const QString& path);
    void clear() { m_answers.clear(); }

private:
    struct Answer
    {
        bool exists;
        qint64 checkedAt;
    };
    QElapsedTimer m_clock;
    QHash<QString, Answer> m_answers;
};

}  // namespace ombrelay
