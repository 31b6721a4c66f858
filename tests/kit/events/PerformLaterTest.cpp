#include "kit/PerformLater.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace ombrelay;

namespace {

TEST(PerformLaterTest, RunsOnALaterPassAfterTheDelay)
{
    QObject target;
    QElapsedTimer clock;
    clock.start();
    int calls = 0;
    qint64 ranAfter = -1;
    PerformLater::schedule(&target, [&] { ++calls; });
    PerformLater::schedule(&target, [&] { ranAfter = clock.elapsed(); }, 100);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ranAfter >= 0; }, 3000));
    EXPECT_EQ(calls, 1);
    EXPECT_GE(ranAfter, 90);
}

TEST(PerformLaterTest, KeyedScheduleReplacesAndScheduleOnceKeeps)
{
    QObject target;
    QStringList ran;
    PerformLater::schedule(&target, [&] { ran << "first"; }, 10, QStringLiteral("save"));
    PerformLater::schedule(&target, [&] { ran << "second"; }, 10, QStringLiteral("save"));
    PerformLater::scheduleOnce(&target, [&] { ran << "third"; }, 10, QStringLiteral("save"));
    PerformLater::schedule(&target, [&] { ran << "other"; }, 10, QStringLiteral("redraw"));
    EXPECT_TRUE(PerformLater::isScheduled(&target, QStringLiteral("save")));

    EXPECT_TRUE(QTest::qWaitFor([&] { return ran.size() == 2; }, 2000));
    QTest::qWait(50);
    ran.sort();
    EXPECT_EQ(ran, (QStringList{"other", "second"}));
    EXPECT_FALSE(PerformLater::isScheduled(&target, QStringLiteral("save")));
}

TEST(PerformLaterTest, CancelByKeyAndCancelAll)
{
    QObject target, other;
    QStringList ran;
    PerformLater::schedule(&target, [&] { ran << "a"; }, 0, QStringLiteral("a"));
    PerformLater::schedule(&target, [&] { ran << "b"; }, 0, QStringLiteral("b"));
    PerformLater::schedule(&target, [&] { ran << "unkeyed"; });
    PerformLater::schedule(&other, [&] { ran << "other"; });
    PerformLater::cancel(&target, QStringLiteral("a"));
    EXPECT_FALSE(PerformLater::isScheduled(&target, QStringLiteral("a")));
    EXPECT_TRUE(PerformLater::isScheduled(&target, QStringLiteral("b")));

    EXPECT_TRUE(QTest::qWaitFor([&] { return ran.size() == 3; }, 2000));
    ran.sort();
    EXPECT_EQ(ran, (QStringList{"b", "other", "unkeyed"}));

    PerformLater::schedule(&target, [&] { ran << "late"; }, 0, QStringLiteral("late"));
    PerformLater::schedule(&target, [&] { ran << "late2"; });
    PerformLater::cancel(&target);
    QTest::qWait(50);
    EXPECT_EQ(ran.size(), 3);
}

TEST(PerformLaterTest, DroppedWhenTheTargetDies)
{
    int calls = 0;
    auto target = std::make_unique<QObject>();
    PerformLater::schedule(target.get(), [&] { ++calls; }, 0, QStringLiteral("k"));
    PerformLater::schedule(target.get(), [&] { ++calls; });
    target.reset();
    QTest::qWait(50);
    EXPECT_EQ(calls, 0);

    // A new object, perhaps at the same address, starts with nothing pending.
    QObject fresh;
    EXPECT_FALSE(PerformLater::isScheduled(&fresh, QStringLiteral("k")));
}

TEST(PerformLaterTest, TargetMayDestroyItselfInThePerform)
{
    auto* target = new QObject;
    bool ran = false;
    PerformLater::schedule(target, [&] {
        ran = true;
        delete target;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran; }, 2000));
    QTest::qWait(20);
}

TEST(PerformLaterTest, PerformMayScheduleAgainUnderItsOwnKey)
{
    QObject target;
    int runs = 0;
    std::function<void()> again = [&] {
        if (++runs < 3)
            PerformLater::schedule(&target, again, 0, QStringLiteral("tick"));
    };
    PerformLater::schedule(&target, again, 0, QStringLiteral("tick"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 3; }, 2000));
    QTest::qWait(20);
    EXPECT_EQ(runs, 3);
}

}  // namespace
