#include "kit/RepeatingTimers.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace ombrelay;

namespace {

// Timers on a clock the test moves; each step moves it, runs what is due and compares what fired.
TEST(RepeatingTimersTest, EachTimerKeepsItsOwnIntervalAndPhaseUntilStoppedOrGone)
{
    qint64 now = 1000;
    RepeatingTimers timers([&] { return now; });
    QObject a, b;
    auto c = std::make_unique<QObject>();
    QStringList fired;
    timers.start(&a, 100, [&] { fired << "a"; });
    now = 1030;
    timers.start(&b, 100, [&] { fired << "b"; });
    timers.start(c.get(), 250, [&] { fired << "c"; });

    const struct
    {
        const char* name;
        qint64 at;
        std::function<void()> before;
        QStringList expected;
    } steps[] = {
        {"nothing due yet", 1099, {}, {}},
        {"a at its interval", 1100, {}, {"a"}},
        {"b keeps its own phase", 1130, {}, {"b"}},
        {"a again, one interval later", 1200, {}, {"a"}},
        {"both due by now fire, in due order", 1290, {}, {"b", "c"}},
        {"a restart starts its phase afresh", 1300, [&] { timers.start(&a, 100, [&] { fired << "a'"; }); }, {}},
        {"the restarted one fires with its new call", 1400, {}, {"b", "a'"}},
        {"a stopped one never fires; one that fell behind fires once", 1600, [&] { timers.stop(&b); }, {"a'", "c"}},
        {"one whose owner is gone never fires", 1900, [&] { c.reset(); }, {"a'"}},
    };
    for (const auto& step : steps) {
        fired.clear();
        if (step.before)
            step.before();
        now = step.at;
        timers.fireDue();
        EXPECT_EQ(fired, step.expected) << step.name;
    }
    EXPECT_TRUE(timers.isActive(&a));
    EXPECT_FALSE(timers.isActive(&b));
}

TEST(RepeatingTimersTest, ATimerThatStopsAnotherDueInTheSamePassKeepsItFromFiring)
{
    qint64 now = 0;
    RepeatingTimers timers([&] { return now; });
    QObject first, second;
    QStringList fired;
    timers.start(&first, 10, [&] {
        fired << "first";
        timers.stop(&second);
    });
    timers.start(&second, 10, [&] { fired << "second"; });
    now = 10;
    timers.fireDue();
    EXPECT_EQ(fired, QStringList{"first"});
    EXPECT_FALSE(timers.isActive(&second));
}

TEST(RepeatingTimersTest, TheQtTimerWakesItAtTheEarliestDueTime)
{
    RepeatingTimers timers;
    QObject slow, fast;
    int slowCount = 0;
    int fastCount = 0;
    timers.start(&slow, 60000, [&] { ++slowCount; });
    timers.start(&fast, 20, [&] { ++fastCount; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fastCount >= 3; }, 5000));
    EXPECT_EQ(slowCount, 0);
}

}  // namespace
