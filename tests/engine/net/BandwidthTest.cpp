#include "engine/net/AverageBandwidth.h"
#include "engine/net/BandwidthProvision.h"
#include "engine/net/MessageStats.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace ombrelay {
namespace {

TEST(BandwidthProvisionTest, RefillGivesATenthOfTheRateOr4096WhenDisabled)
{
    struct Case
    {
        bool enabled;
        qint32 rate;
        quint32 consumed;
        qint32 expectedAfterRefill;
        qint32 expectedAfterConsumption;
    };
    const Case cases[] = {
        {true, 50000, 1000, 5000, 4000},
        {true, 5, 0, 0, 0},
        {true, 50000, 9000, 5000, -4000},  // overdrawn within the slice
        {false, 50000, 100000, 4096, 4096},  // a disabled budget is never consumed
        {false, 0, 1, 4096, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.enabled << " " << c.rate << " " << c.consumed);
        BandwidthProvision budget;
        budget.setIsEnabled(c.enabled);
        budget.setBytesPerSecond(c.rate);
        budget.bandwidthProvisionUpdate();
        EXPECT_EQ(budget.bytesAvailableForConsumption(), c.expectedAfterRefill);
        budget.consumedBytes(c.consumed);
        EXPECT_EQ(budget.bytesAvailableForConsumption(), c.expectedAfterConsumption);
        budget.bandwidthProvisionUpdate();  // nothing carries over, an overdraft neither
        EXPECT_EQ(budget.bytesAvailableForConsumption(), c.expectedAfterRefill);
    }
}

TEST(BandwidthProvisionTest, CustomLimitsOfATorrent)
{
    struct Case
    {
        qint64 limit;
        bool enabled;
        qint32 rate;
        bool exempt;
        qint32 available;
    };
    const Case cases[] = {
        {0, false, 0, false, 4096},      // the global limit applies
        {-1, false, -1000, true, 4096},  // no limit at all
        {50, true, 50000, false, 5000},
        {1, true, 1000, false, 100},
        {qint64(1) << 40, true, 2147483000, false, 214748300},  // clamped, never wraps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        BandwidthProvision budget;
        budget.setCustomLimit(c.limit);
        EXPECT_EQ(budget.isEnabled(), c.enabled);
        EXPECT_EQ(budget.bytesPerSecond(), c.rate);
        EXPECT_EQ(budget.isExempt(), c.exempt);
        EXPECT_EQ(budget.bytesAvailableForConsumption(), c.available);
    }
}

TEST(BandwidthProvisionTest, EveryLiveBudgetIsRefilledAndADestroyedOneLeaves)
{
    auto* budget = new BandwidthProvision;
    budget->setIsEnabled(true);
    budget->setBytesPerSecond(20000);
    budget->consumedBytes(1 << 30);
    const auto& all = BandwidthProvision::allObjects();
    EXPECT_NE(std::find(all.begin(), all.end(), budget), all.end());
    BandwidthProvision::updateAll();
    EXPECT_EQ(budget->bytesAvailableForConsumption(), 2000);
    delete budget;
    EXPECT_EQ(std::find(all.begin(), all.end(), budget), all.end());
}

TEST(AverageBandwidthTest, AveragesOverTheWindowOrTheTransferAge)
{
    struct Sample
    {
        double at;
        quint32 bytes;
    };
    struct Case
    {
        const char* name;
        std::vector<Sample> samples;
        double now;
        float expected;
    };
    const Case cases[] = {
        {"younger than a second divides by 1 s", {{100.0, 10000}, {100.5, 20000}}, 100.5, 30000.0f},
        {"younger than the window divides by its age", {{100.0, 10000}, {102.0, 20000}}, 102.0, 15000.0f},
        {"older than the window divides by the window", {{100.0, 9000}, {105.0, 9000}, {106.0, 9000}}, 106.0,
         6000.0f},
        {"samples only older than the window read 0", {{100.0, 50000}}, 103.5, 0.0f},
        {"zero bytes are ignored", {{100.0, 0}, {200.0, 4000}}, 200.0, 4000.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AverageBandwidth meter;
        for (const Sample& s : c.samples)
            meter.recordBytes(s.bytes, s.at);
        meter.updateFormatter(c.now);
        EXPECT_FLOAT_EQ(meter.bandwidth(), c.expected);
    }
}

TEST(AverageBandwidthTest, ZeroBytesDoNotStartTheClockAndDiscardKeepsTheStart)
{
    AverageBandwidth meter;
    meter.recordBytes(0, 50.0);
    EXPECT_EQ(meter.startTime(), 0.0);
    meter.recordBytes(3000, 60.0);
    EXPECT_EQ(meter.startTime(), 60.0);
    meter.discardAllStats();
    meter.updateFormatter(60.5);
    EXPECT_EQ(meter.bandwidth(), 0.0f);
    EXPECT_EQ(meter.startTime(), 60.0);
    meter.recordBytes(12000, 64.0);
    meter.updateFormatter(64.0);
    EXPECT_FLOAT_EQ(meter.bandwidth(), 4000.0f);  // the 3 s window, the start being 4 s ago
    EXPECT_FALSE(meter.description().isEmpty());
}

TEST(AverageBandwidthTest, FastTransfersKeepFewSamplesAndTheExactSum)
{
    AverageBandwidth meter;
    for (int i = 0; i < 30000; ++i)  // 4096-byte chunks every 0.1 ms for 3 s
        meter.recordBytes(4096, 10.0 + i * 0.0001);
    meter.updateFormatter(13.0);
    EXPECT_FLOAT_EQ(meter.bandwidth(), 30000.0f * 4096 / 3);
}

TEST(MessageStatsTest, WireIdsCountInTheirOwnCounterAndTotal)
{
    PeerStats stats;
    for (quint8 id : {0, 1, 2, 3, 4, 4, 5, 6, 7, 8, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 20})
        stats.read.recordMessage(id);
    const MessageStats& r = stats.read;
    EXPECT_EQ(r.total, 16);
    EXPECT_EQ(r.haves, 2);
    const qint32 each[] = {r.chokes, r.unchokes, r.interesteds, r.notInteresteds, r.bitfields, r.requests,
                           r.pieces, r.cancelRequests, r.suggestPieces, r.haveAlls, r.haveNones, r.allowedFasts};
    for (qint32 count : each)
        EXPECT_EQ(count, 1);
    MessageStats sum;
    sum += r;
    sum += r;
    EXPECT_EQ(sum.total, 32);
    EXPECT_EQ(sum.haves, 4);
    EXPECT_EQ(stats.written.total, 0);
}

}  // namespace
}  // namespace ombrelay
