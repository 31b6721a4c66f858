#include "engine/storage/WriteBacklog.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <vector>

namespace ombrelay {
namespace {

constexpr qint64 kMax = WriteBacklog::kMaxBytes;

// Queued writes are entries; the peers stop asking while the backlog is full and hear `drained` once,
// when it is down to half, never when nobody was held back.
TEST(WriteBacklogTest, HeldPeersHearOnceWhenHalfIsWritten)
{
    struct Case
    {
        const char* name;
        std::vector<qint64> entries;
        bool askedWhileFull;
        size_t releasedBeforeCheck;  // entries released, oldest first, before drained is counted
        int drainedSignals;
    };
    const Case cases[] = {
        {"below the bound", {kMax / 4, kMax / 4}, true, 2, 0},
        {"full, not asked", {kMax / 2, kMax / 2}, false, 2, 0},
        {"full, asked, still above half", {kMax / 4, kMax / 4, kMax / 2 + 1}, true, 1, 0},
        {"full, asked, down to half", {kMax / 4, kMax / 4, kMax / 2}, true, 2, 1},
        {"full, asked, all written", {kMax / 2, kMax / 2}, true, 2, 1},
    };
    WriteBacklog& backlog = WriteBacklog::instance();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(backlog.bytes(), 0);
        std::vector<std::shared_ptr<WriteBacklog::Entry>> queued;
        qint64 total = 0;
        for (qint64 bytes : c.entries) {
            queued.push_back(WriteBacklog::enter(bytes));
            total += bytes;
        }
        EXPECT_EQ(backlog.bytes(), total);
        EXPECT_GE(backlog.peakBytes(), total);
        QSignalSpy drained(&backlog, &WriteBacklog::drained);
        if (c.askedWhileFull) {
            EXPECT_EQ(backlog.isFull(), total >= kMax);
        }
        for (size_t i = 0; i < c.releasedBeforeCheck; ++i)
            queued[i].reset();
        QCoreApplication::processEvents();
        EXPECT_EQ(drained.count(), c.drainedSignals);
        queued.clear();
        QCoreApplication::processEvents();
        EXPECT_EQ(drained.count(), c.drainedSignals + (c.drainedSignals == 0 && c.askedWhileFull && total >= kMax));
        EXPECT_EQ(backlog.bytes(), 0);
    }
}

}  // namespace
}  // namespace ombrelay
