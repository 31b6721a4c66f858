#pragma once

#include <QDateTime>
#include <QString>

namespace ombrelay {

// Durations and dates as the user reads them.
class DateText
{
public:
    // A short duration: "59 sec", "1 minute", "1½ hours", "2 days", "many days" from 366 days on; the
    // empty text under one second or for NaN. The sign is ignored.
    static QString stringFromTimeInterval(double seconds);

    // "Today", "Yesterday", the weekday name within the last week (or any later day), else the date in
    // the medium style of the user's locale ("Jun 2, 2008"). Days are counted in local time.
    static QString nicelyFormattedString(const QDateTime& date,
                                         const QDateTime& now = QDateTime::currentDateTime());
};

} // namespace ombrelay
