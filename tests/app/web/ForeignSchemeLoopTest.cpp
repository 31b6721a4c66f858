// Which runs of reports of attempts at other schemes tell a looping page, as an idle and as a busy web
// engine report them.
#include "app/web/ForeignSchemeLoop.h"

#include <gtest/gtest.h>
#include <vector>

namespace ombrelay::test {
namespace {

struct Report { bool started; qint64 at; };

TEST(ForeignSchemeLoop, ToldByManyAttemptsOrByOneThatLasts)
{
    struct Case {
        const char* name;
        std::vector<Report> reports;
        int loopsAtReport;  // index of the first report that tells a loop, -1 for none
    };
    const Case cases[] = {
        {"one attempt", {{true, 0}, {false, 3}}, -1},
        {"two attempts in one script, merged", {{false, 0}}, -1},
        {"an idle engine's loop: every attempt reported",
         {{true, 0}, {false, 2}, {true, 4}, {false, 6}, {true, 8}, {false, 10}, {true, 12}, {false, 14}, {true, 16},
          {false, 18}, {true, 20}},
         10},
        {"a busy engine's burst: one load over a second and a half", {{true, 0}, {false, 1436}}, 1},
        {"a user clicking two magnet links a second apart", {{true, 0}, {false, 8}, {true, 1000}, {false, 1009}}, -1},
        {"a user clicking three magnet links in two seconds",
         {{true, 0}, {false, 8}, {true, 700}, {false, 707}, {true, 1400}, {false, 1406}}, -1},
        {"attempts seconds apart", {{true, 0}, {false, 5}, {true, 2500}, {false, 2505}, {true, 5000}, {false, 5005}}, -1},
        {"after a quiet spell the run starts again",
         {{true, 0}, {false, 5}, {true, 10}, {false, 15}, {true, 20}, {false, 25}, {true, 2100}, {false, 2105},
          {true, 2110}, {false, 2115}, {true, 2120}, {false, 2125}},
         -1},
        {"a burst at the engine's next window", {{true, 0}, {false, 300}, {true, 10000}, {false, 10600}}, 3},
    };
    for (const Case& c : cases) {
        ForeignSchemeLoop loop;
        int loopsAt = -1;
        for (int i = 0; i < int(c.reports.size()) && loopsAt < 0; ++i)
            if (loop.note(c.reports[i].started, c.reports[i].at))
                loopsAt = i;
        EXPECT_EQ(loopsAt, c.loopsAtReport) << c.name;
    }
}

TEST(ForeignSchemeLoop, AnAttemptUnderWayLoopsWithNoFurtherReport)
{
    ForeignSchemeLoop loop;
    EXPECT_FALSE(loop.loopsAt(10000));
    EXPECT_FALSE(loop.note(true, 1000));
    EXPECT_TRUE(loop.isUnderWay());
    EXPECT_FALSE(loop.loopsAt(1499));
    EXPECT_TRUE(loop.loopsAt(1500));

    EXPECT_FALSE(loop.note(false, 1050));  // ended in time: nothing under way
    EXPECT_FALSE(loop.loopsAt(1600));

    loop.reset();
    EXPECT_FALSE(loop.note(true, 5000));
    EXPECT_FALSE(loop.loopsAt(5400));
    EXPECT_TRUE(loop.loopsAt(5500));
}

}  // namespace
}  // namespace ombrelay::test
