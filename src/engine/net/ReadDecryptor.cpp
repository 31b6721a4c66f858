#include "engine/net/ReadDecryptor.h"

#include "kit/SerialQueue.h"

#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace ombrelay {
namespace {

std::vector<std::unique_ptr<SerialQueue>>& cipherQueues()
{
    static auto* queues = [] {
        auto* list = new std::vector<std::unique_ptr<SerialQueue>>;  // lives as long as the process
        const int count = std::clamp(int(std::thread::hardware_concurrency()) / 2, 1, 4);
        for (int i = 0; i < count; ++i)
            list->push_back(std::make_unique<SerialQueue>(QStringLiteral("ombrelay-cipher")));
        return list;
    }();
    return *queues;
}

// Receives the decrypted chunks on the main thread; one receiver keeps every connection's chunks in the
// order they were posted.
QObject* mainThreadReceiver()
{
    static auto* receiver = [] {
        auto* object = new QObject;  // lives as long as the process
        if (QCoreApplication* app = QCoreApplication::instance())
            object->moveToThread(app->thread());
        return object;
    }();
    return receiver;
}

}  // namespace

ReadDecryptor::ReadDecryptor(std::unique_ptr<StreamCipher> cipher, Deliver deliver)
    : m_cipher(std::move(cipher)), m_deliver(std::move(deliver))
{
    static std::atomic<int> next{0};
    m_queue = next++ % int(cipherQueues().size());
    mainThreadReceiver();
}

ReadDecryptor::~ReadDecryptor() = default;

void ReadDecryptor::decrypt(QByteArray chunk)
{
    m_inFlight += chunk.size();
    std::weak_ptr<int> alive = m_alive;
    cipherQueues()[size_t(m_queue)]->post(this, [this, alive, cipher = m_cipher, chunk = std::move(chunk)]() mutable {
        cipher->apply(chunk.data(), chunk.size());
        QMetaObject::invokeMethod(mainThreadReceiver(), [this, alive, chunk = std::move(chunk)]() mutable {
            if (!alive.expired())
                delivered(std::move(chunk));
        }, Qt::QueuedConnection);
    });
}

void ReadDecryptor::decryptNow(char* data, qsizetype length)
{
    Q_ASSERT(m_inFlight == 0);
    m_cipher->apply(data, length);
}

void ReadDecryptor::delivered(QByteArray chunk)
{
    m_inFlight -= chunk.size();
    m_deliver(std::move(chunk));
}

}  // namespace ombrelay
