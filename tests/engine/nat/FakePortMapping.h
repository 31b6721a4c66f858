#pragma once

#include "engine/nat/MappingTimer.h"
#include "engine/nat/PortMapper.h"
#include "support/Addresses.h"

#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <arpa/inet.h>
#include <atomic>
#include <deque>
#include <gtest/gtest.h>

namespace ombrelay::test {

// A gateway that answers from a script, on the worker thread, and records what it was asked.
class FakeBackend : public PortMappingBackend
{
public:
    explicit FakeBackend(PortMapping answer = {}) : m_answer(answer) {}

    QString name() const override { return QStringLiteral("fake"); }

    PortMapping map(const PortMappingRequest& request) override
    {
        if (m_holdAnswers)
            m_gate.tryAcquire(1, 5000); // bounded, should a test forget to release
        QMutexLocker lock(&m_mutex);
        m_mapRequests.append(request);
        if (!m_script.empty()) {
            const PortMapping next = m_script.front();
            m_script.pop_front();
            return next;
        }
        return m_answer;
    }

    void unmap(const PortMappingRequest& request, const PortMapping& granted) override
    {
        QMutexLocker lock(&m_mutex);
        m_unmaps.append({request, granted});
    }

    void setAnswer(const PortMapping& answer)
    {
        QMutexLocker lock(&m_mutex);
        m_answer = answer;
    }
    void queueAnswer(const PortMapping& answer)
    {
        QMutexLocker lock(&m_mutex);
        m_script.push_back(answer);
    }
    // Answers wait until released.
    void holdAnswers() { m_holdAnswers = true; }
    void releaseAnswer() { m_gate.release(); }

    QList<PortMappingRequest> mapRequests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_mapRequests;
    }
    QList<std::pair<PortMappingRequest, PortMapping>> unmaps() const
    {
        QMutexLocker lock(&m_mutex);
        return m_unmaps;
    }

private:
    mutable QMutex m_mutex;
    PortMapping m_answer;
    std::deque<PortMapping> m_script;
    std::atomic<bool> m_holdAnswers = false;
    QSemaphore m_gate;
    QList<PortMappingRequest> m_mapRequests;
    QList<std::pair<PortMappingRequest, PortMapping>> m_unmaps;
};

// A timer fired by hand; remembers the delay it was last started with.
class FakeTimer : public MappingTimer
{
public:
    void start(int delayMs, std::function<void()> onFire) override
    {
        delay = delayMs;
        m_onFire = std::move(onFire);
        active = true;
        ++starts;
    }
    void stop() override { active = false; }
    void fire()
    {
        ASSERT_TRUE(active) << "the timer is not running";
        active = false;
        const auto onFire = m_onFire;
        onFire();
    }

    int delay = -1;
    bool active = false;
    int starts = 0;

private:
    std::function<void()> m_onFire;
};

} // namespace ombrelay::test
