#include "engine/storage/StateFileWriter.h"

#include "kit/AtomicFile.h"
#include "kit/SerialQueue.h"

namespace ombrelay {

SerialQueue& StateFileWriter::queue()
{
    static SerialQueue queue(QStringLiteral("ombrelay-state"));
    return queue;
}

StateFileWriter::~StateFileWriter()
{
    drain();
    queue().cancel(this);
}

void StateFileWriter::write(const QString& path, const QByteArray& bytes, Failed failed)
{
    {
        std::lock_guard lock(m_lock);
        const auto pending = m_pending.find(path);
        if (pending != m_pending.end()) {
            *pending = {bytes, std::move(failed)};  // its queued write takes these
            return;
        }
        m_pending.insert(path, {bytes, std::move(failed)});
    }
    queue().post(this, [this, path] { writeOnQueue(path); });
}

void StateFileWriter::drain()
{
    queue().drain();
}

void StateFileWriter::writeOnQueue(const QString& path)
{
    Pending pending;
    {
        std::lock_guard lock(m_lock);
        pending = m_pending.take(path);
    }
    QString error;
    if (AtomicFile::writeIfDifferent(path, pending.bytes, &error))
        return;
    qWarning("*** %s", qPrintable(error));
    if (pending.failed)
        QMetaObject::invokeMethod(&m_mainThread, [failed = std::move(pending.failed), error] { failed(error); },
                                  Qt::QueuedConnection);
}

}  // namespace ombrelay
