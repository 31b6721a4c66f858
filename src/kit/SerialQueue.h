#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ombrelay {

// One thread running jobs one at a time, in the order they were posted. Jobs carry an owner so that
// an owner going away can drop its queued jobs and wait for the one that may be running.
class SerialQueue
{
public:
    using Job = std::function<void()>;

    explicit SerialQueue(const QString& name);
    ~SerialQueue();  // runs what is queued, then stops
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(const void* owner, Job job);
    // Runs the job before every job from post() that has not started yet, after the ones posted here
    // before it: for short jobs that must not wait behind a long queue of ordinary work.
    void postAhead(const void* owner, Job job);
    // Drops the owner's queued jobs and returns once none of its jobs is running.
    void cancel(const void* owner);
    // Until acceptJobsFrom(), jobs the owner posts are dropped: for owners whose jobs on several queues post
    // to each other, so that cancelling one queue after another leaves none behind.
    void refuseJobsFrom(const void* owner);
    void acceptJobsFrom(const void* owner);
    // Returns once the queue is idle: every job posted before the call has run, and so has every job
    // those jobs posted. Never call it from a job of this queue.
    void drain();
    size_t pendingCount() const;

private:
    struct Entry
    {
        const void* owner;
        Job job;
    };
    void run();
    bool isRefused(const void* owner) const;  // under m_mutex

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Entry> m_jobs;
    size_t m_jobsAhead = 0;  // the front entries of m_jobs that came from postAhead
    std::vector<const void*> m_refusedOwners;
    const void* m_runningOwner = nullptr;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace ombrelay
