#include "engine/storage/StateFileWriter.h"

#include "kit/AtomicFile.h"
#include "kit/SerialQueue.h"

#include <algorithm>
#include <vector>

namespace ombrelay {

SerialQueue& StateFileWriter::queue()
{
    static SerialQueue queue(QStringLiteral("ombrelay-state"));
    return queue;
}

StateFileWriter& StateFileWriter::instance()
{
    static StateFileWriter writer;
    return writer;
}

StateFileWriter::StateFileWriter()
{
    queue();  // made first, so it outlives the writer
}

StateFileWriter::~StateFileWriter()
{
    drain();
}

void StateFileWriter::write(const QString& path, std::optional<QByteArray> bytes, Failed failed)
{
    bool idle = false;
    {
        std::lock_guard lock(m_lock);
        idle = m_pending.isEmpty();  // else the queued batch takes these bytes too
        m_pending.insert(path, {std::move(bytes), std::move(failed), m_asks++});
    }
    if (idle)
        queue().post(this, [this] { writePendingOnQueue(); });
}

void StateFileWriter::drain()
{
    queue().drain();
}

void StateFileWriter::writePendingOnQueue()
{
    QHash<QString, Pending> batch;
    {
        std::lock_guard lock(m_lock);
        batch.swap(m_pending);
    }
    std::vector<QHash<QString, Pending>::iterator> asked;
    asked.reserve(size_t(batch.size()));
    for (auto it = batch.begin(); it != batch.end(); ++it)
        asked.push_back(it);
    std::sort(asked.begin(), asked.end(), [](const auto& a, const auto& b) { return a->asked < b->asked; });
    QVector<AtomicFile::Change> changes;
    QVector<Failed> failures;
    changes.reserve(batch.size());
    failures.reserve(batch.size());
    for (const auto& it : asked) {
        changes.append({it.key(), std::move(it->bytes)});
        failures.append(std::move(it->failed));
    }
    const QStringList errors = AtomicFile::applyAll(changes);
    for (qsizetype i = 0; i < errors.size(); ++i) {
        if (errors[i].isEmpty())
            continue;
        qWarning("*** %s", qPrintable(errors[i]));
        if (failures[i])
            QMetaObject::invokeMethod(&m_mainThread, [failed = std::move(failures[i]), error = errors[i]] { failed(error); },
                                      Qt::QueuedConnection);
    }
}

}  // namespace ombrelay
