#include "kit/DateText.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace ombrelay {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("DateText", text);
}

constexpr double secondsInLeapYear = 31'622'400;

// The locale's long date without the weekday and with abbreviated month names: the medium style.
QString mediumDateText(QDate date)
{
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}\\p{P}?\\s*"));
    format.remove(weekday);
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return locale.toString(date, format.trimmed());
}

QString weekdayName(int dayOfWeek)
{
    switch (dayOfWeek) {
    case Qt::Monday:
        return tr("Monday");
    case Qt::Tuesday:
        return tr("Tuesday");
    case Qt::Wednesday:
        return tr("Wednesday");
    case Qt::Thursday:
        return tr("Thursday");
    case Qt::Friday:
        return tr("Friday");
    case Qt::Saturday:
        return tr("Saturday");
    default:
        return tr("Sunday");
    }
}

} // namespace

QString DateText::stringFromTimeInterval(double interval)
{
    if (std::isnan(interval))
        return {};
    const double magnitude = std::fabs(interval);
    if (magnitude >= secondsInLeapYear)
        return tr("many days");
    const int s = int(magnitude);
    const int minutes = s / 60 % 60;
    const QChar half(0x00bd);
    if (s < 1)
        return {};
    if (s < 60)
        return tr("%1 sec").arg(s);
    if (s < 3600)
        return minutes == 1 ? tr("1 minute") : tr("%1 minutes").arg(minutes);
    if (s >= 172'800)
        return tr("%1 days").arg(s / 86'400);
    if (s < 7200)
        return minutes >= 31 ? tr("1%1 hours").arg(half) : tr("1 hour");
    if (s < 21'600 && minutes >= 31)
        return tr("%1%2 hours").arg(s / 3600).arg(half);
    return tr("%1 hours").arg(s / 3600);
}

QString DateText::nicelyFormattedString(const QDateTime& date, const QDateTime& now)
{
    const QDate day = date.toLocalTime().date();
    const qint64 daysAgo = day.daysTo(now.toLocalTime().date());
    if (daysAgo == 0)
        return tr("Today");
    if (daysAgo == 1)
        return tr("Yesterday");
    if (daysAgo < 7)
        return weekdayName(day.dayOfWeek());
    return mediumDateText(day);
}

} // namespace ombrelay
