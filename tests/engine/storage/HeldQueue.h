#pragma once

#include "kit/SerialQueue.h"

#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <thread>

namespace ombrelay::test {

// Holds a queue with a job that waits until `release` is set (10 s at most): jobs posted meanwhile
// wait behind it.
inline void holdQueue(SerialQueue& queue, std::atomic<bool>& release)
{
    queue.post(&release, [&release] {
        QElapsedTimer timer;
        timer.start();
        while (!release && timer.elapsed() < 10000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
}

}  // namespace ombrelay::test
