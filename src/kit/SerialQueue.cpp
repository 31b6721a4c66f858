#include "kit/SerialQueue.h"

#include <algorithm>
#include <pthread.h>

namespace ombrelay {

SerialQueue::SerialQueue(const QString& name) : m_thread([this] { run(); })
{
    pthread_setname_np(m_thread.native_handle(), name.left(15).toUtf8().constData());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SerialQueue::post(const void* owner, Job job)
{
    {
        std::lock_guard lock(m_mutex);
        if (isRefused(owner))
            return;
        m_jobs.push_back({owner, std::move(job)});
    }
    m_wake.notify_one();
}

void SerialQueue::postAhead(const void* owner, Job job)
{
    {
        std::lock_guard lock(m_mutex);
        if (isRefused(owner))
            return;
        m_jobs.insert(m_jobs.begin() + std::ptrdiff_t(m_jobsAhead), {owner, std::move(job)});
        ++m_jobsAhead;
    }
    m_wake.notify_one();
}

bool SerialQueue::isRefused(const void* owner) const
{
    return owner && std::find(m_refusedOwners.begin(), m_refusedOwners.end(), owner) != m_refusedOwners.end();
}

void SerialQueue::refuseJobsFrom(const void* owner)
{
    std::lock_guard lock(m_mutex);
    m_refusedOwners.push_back(owner);
}

void SerialQueue::acceptJobsFrom(const void* owner)
{
    std::lock_guard lock(m_mutex);
    std::erase(m_refusedOwners, owner);
}

void SerialQueue::cancel(const void* owner)
{
    std::unique_lock lock(m_mutex);
    const auto ahead = m_jobs.begin() + std::ptrdiff_t(m_jobsAhead);
    m_jobsAhead -= size_t(std::count_if(m_jobs.begin(), ahead, [owner](const Entry& e) { return e.owner == owner; }));
    std::erase_if(m_jobs, [owner](const Entry& e) { return e.owner == owner; });
    m_idle.wait(lock, [&] { return !(m_running && m_runningOwner == owner); });
}

void SerialQueue::drain()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [&] { return m_jobs.empty() && !m_running; });
}

size_t SerialQueue::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_jobs.size() + (m_running ? 1 : 0);
}

void SerialQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;  // stopping and nothing left
        Entry entry = std::move(m_jobs.front());
        m_jobs.pop_front();
        if (m_jobsAhead > 0)
            --m_jobsAhead;
        m_running = true;
        m_runningOwner = entry.owner;
        lock.unlock();
        entry.job();
        entry.job = nullptr;  // release captured state outside the lock
        lock.lock();
        m_running = false;
        m_runningOwner = nullptr;
        m_idle.notify_all();
    }
}

}  // namespace ombrelay
