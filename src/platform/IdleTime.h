#pragma once

#include <QObject>
#include <functional>

namespace ombrelay {

// Seconds since the user's last input event. Main thread only.
class IdleTime
{
public:
    virtual ~IdleTime() = default;
    // Calls `done` on the main thread (at once or later, never after `context` is gone) with the seconds
    // since the last input; 0 ("not idle") when nothing answers.
    virtual void querySecondsSinceInput(QObject* context, std::function<void(qint64 seconds)> done) = 0;
};

}  // namespace ombrelay
