#include "kit/DateText.h"

#include <QLocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace ombrelay;

TEST(DateText, Durations)
{
    const QString half(QChar(0x00bd));
    struct Case
    {
        double seconds;
        QString text;
    };
    const Case cases[] = {
        {0, ""},
        {0.4, ""},
        {-0.9, ""},
        {1, "1 sec"},
        {59, "59 sec"},
        {59.9, "59 sec"},
        {-90, "1 minute"},
        {60, "1 minute"},
        {125, "2 minutes"},
        {3599, "59 minutes"},
        {3600, "1 hour"},
        {5400, "1 hour"},
        {5460, "1" + half + " hours"},
        {7199, "1" + half + " hours"},
        {7200, "2 hours"},
        {9060, "2" + half + " hours"},
        {21'599, "5" + half + " hours"},
        {23'400, "6 hours"},
        {90'000, "25 hours"},
        {172'799, "47 hours"},
        {172'800, "2 days"},
        {31'622'399, "365 days"},
        {31'622'400, "many days"},
        {-31'622'400, "many days"},
        {1e12, "many days"},
        {std::numeric_limits<double>::infinity(), "many days"},
        {-std::numeric_limits<double>::infinity(), "many days"},
        {std::nan(""), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(DateText::stringFromTimeInterval(c.seconds), c.text);
    }
}

TEST(DateText, RelativeDays)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // Wednesday 11 June 2008, in local time.
    const QDateTime now(QDate(2008, 6, 11), QTime(10, 30));
    struct Case
    {
        QDateTime date;
        QString text;
    };
    const Case cases[] = {
        {QDateTime(QDate(2008, 6, 11), QTime(0, 0)), "Today"},
        {QDateTime(QDate(2008, 6, 11), QTime(23, 59)), "Today"},
        {QDateTime(QDate(2008, 6, 10), QTime(23, 59)), "Yesterday"},
        {QDateTime(QDate(2008, 6, 9), QTime(12, 0)), "Monday"},
        {QDateTime(QDate(2008, 6, 5), QTime(12, 0)), "Thursday"},    // six days ago
        {QDateTime(QDate(2008, 6, 4), QTime(12, 0)), "Jun 4, 2008"}, // seven days ago
        {QDateTime(QDate(2008, 6, 13), QTime(12, 0)), "Friday"},     // a later day
        {QDateTime(QDate(2007, 12, 25), QTime(12, 0)), "Dec 25, 2007"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.date.toString(Qt::ISODate)));
        EXPECT_EQ(DateText::nicelyFormattedString(c.date, now), c.text);
    }
    // The day is the local day of the moment, whatever zone the date was read in.
    const QDateTime utcToday = now.toUTC();
    EXPECT_EQ(DateText::nicelyFormattedString(utcToday, now), "Today");
    QLocale::setDefault(previous);
}
