#include "kit/FeedDateReader.h"

#include <QTimeZone>
#include <ctime>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
}

QDateTime local(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

// Local time away from UTC, so that a date read in the wrong zone shows.
class FeedDateReaderTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_savedZone = qgetenv("TZ");
        qputenv("TZ", "America/New_York");
        tzset();
    }
    void TearDown() override
    {
        qputenv("TZ", m_savedZone);
        tzset();
    }

private:
    QByteArray m_savedZone;
};

} // namespace

TEST_F(FeedDateReaderTest, ReadsTheFeedSpellings)
{
    struct Case
    {
        QString text;
        QDateTime date;
    };
    const Case cases[] = {
        {"2008-06-02T14:03:00+02:00", utc(2008, 6, 2, 12, 3)},
        {"2008-06-02T14:03:00-0530", utc(2008, 6, 2, 19, 33)},
        {"2008-06-02T14:03:00 +0200", utc(2008, 6, 2, 12, 3)},
        {"2008-06-02T14:03 +0200", utc(2008, 6, 2, 12, 3)},
        {"2008-06-02T14:03:00Z", utc(2008, 6, 2, 14, 3)},
        {"2008-06-02T14:03Z", utc(2008, 6, 2, 14, 3)},
        {"2008-06-02T14:03:00 GMT", utc(2008, 6, 2, 14, 3)},
        {"Mon, 02 Jun 2008 14:03:00 +0200", utc(2008, 6, 2, 12, 3)},
        {"Mon, 02 Jun 08 14:03:00 +0200", utc(2008, 6, 2, 12, 3)},
        {"Mon, 2 Jun 2008 14:03 -0700", utc(2008, 6, 2, 21, 3)},
        {"Mon, 02 Jun 2008 14:03:00 GMT", utc(2008, 6, 2, 14, 3)},
        {"Mon, 02 Jun 2008 14:03:00 PDT", utc(2008, 6, 2, 21, 3)},
        {"mon, 02 JUN 2008 14:03:00 EST", utc(2008, 6, 2, 19, 3)},
        {"Mon, 02 Jun 99 14:03 UT", utc(1999, 6, 2, 14, 3)},
        {"Mon Jun 02 14:03:00 +0000 2008", utc(2008, 6, 2, 14, 3)},
        {"Mon Jun 02 14:03:00 UTC 2008", utc(2008, 6, 2, 14, 3)},
        {"02 Jun 2008 14:03:00 +0200", utc(2008, 6, 2, 12, 3)},
        {"02 Jun 2008 14:03 GMT", utc(2008, 6, 2, 14, 3)},
        {"02 Jun 2008 14:03 Europe/Berlin", utc(2008, 6, 2, 12, 3)},
        {"  Mon, 02 Jun 2008 14:03:00 +0200 \n", utc(2008, 6, 2, 12, 3)},
        {"Mon, 02 Jun 2008", local(2008, 6, 2, 0, 0)},
        {"Mon Jun  2 2008", local(2008, 6, 2, 0, 0)},
        {"Monday, June 02, 2008", local(2008, 6, 2, 0, 0)},
        {"2008-06-02T14:03:00", local(2008, 6, 2, 14, 3)},
        {"2008-06-02T14:03", local(2008, 6, 2, 14, 3)},
        {"2008-06-02", local(2008, 6, 2, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.text));
        const QDateTime read = FeedDateReader::dateFromString(c.text);
        ASSERT_TRUE(read.isValid());
        EXPECT_EQ(read.toUTC(), c.date.toUTC()) << qPrintable(read.toString(Qt::ISODate));
    }
    EXPECT_EQ(local(2008, 6, 2, 14, 3).toUTC(), utc(2008, 6, 2, 18, 3)); // the zone took effect
    // An offset is kept as the date's zone.
    EXPECT_EQ(FeedDateReader::dateFromString("Mon, 02 Jun 2008 14:03:00 +0200").offsetFromUtc(), 7200);
}

TEST_F(FeedDateReaderTest, UnreadableOrEmptyTextGivesNoDate)
{
    const QString cases[] = {
        "",
        "   ",
        "yesterday",
        "2008-13-02",
        "2008-02-30",
        "2008-06-02T25:00",
        "Mon, 02 Jun 2008 14:03:00 XYZ",
        "Mon, 02 Jun 2008 14:03:00 +02",
        "Mon, 02 Foo 2008",
        "2008-06-02 trailing",
        "02 Jun 2008 14:03 Not/AZone",
        QString(10'000, u'9'),
    };
    for (const QString& text : cases) {
        SCOPED_TRACE(qPrintable(text.left(40)));
        EXPECT_TRUE(FeedDateReader::dateFromString(text).isNull());
    }
}
