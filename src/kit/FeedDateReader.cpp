#include "kit/FeedDateReader.h"

#include <QTimeZone>
#include <array>
#include <optional>

namespace ombrelay {
namespace {

// Tried in this order; the first is tried on the text with the colon of a "+hh:mm" offset removed.
constexpr std::array<const char*, 31> formats = {
    "%Y-%m-%dT%H:%M:%S%z",
    "%Y-%m-%dT%H:%M:%S %z",
    "%Y-%m-%dT%H:%M %z",
    "%a, %d %b %y %H:%M:%S %z",
    "%a, %d %b %Y %H:%M:%S %z",
    "%a, %d %b %y %H:%M %z",
    "%a, %d %b %Y %H:%M %z",
    "%a %b %d %H:%M:%S %z %Y",
    "%d %b %Y %H:%M:%S +%z",
    "%d %b %Y %H:%M +%z",
    "%Y-%m-%dT%H:%M:%S %Z",
    "%Y-%m-%dT%H:%M %Z",
    "%a, %d %b %y %H:%M:%S %Z",
    "%a, %d %b %Y %H:%M:%S %Z",
    "%a, %d %b %y %H:%M %Z",
    "%a, %d %b %Y %H:%M %Z",
    "%a, %d %b %Y",
    "%a %b %d %H:%M:%S %Z %Y",
    "%a %b %e %Y",
    "%d %b %y %H:%M:%S +%Z",
    "%d %b %Y %H:%M:%S +%Z",
    "%d %b %y %H:%M +%Z",
    "%d %b %Y %H:%M +%Z",
    "%d %b %y %H:%M:%S %Z",
    "%d %b %Y %H:%M:%S %Z",
    "%d %b %y %H:%M %Z",
    "%d %b %Y %H:%M %Z",
    "%A, %B %d, %Y",
    "%Y-%m-%dT%H:%M:%S",
    "%Y-%m-%dT%H:%M",
    "%Y-%m-%d",
};

constexpr std::array<const char*, 12> monthNames = {"January",   "February", "March",    "April",
                                                    "May",       "June",     "July",     "August",
                                                    "September", "October",  "November", "December"};
constexpr std::array<const char*, 7> weekdayNames = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                     "Friday", "Saturday", "Sunday"};

struct ZoneAbbreviation
{
    const char* name;
    int minutesAheadOfUtc;
};

constexpr ZoneAbbreviation zoneAbbreviations[] = {
    {"UT", 0},        {"UTC", 0},       {"GMT", 0},        {"Z", 0},          {"EST", -5 * 60},
    {"EDT", -4 * 60}, {"CST", -6 * 60}, {"CDT", -5 * 60},  {"MST", -7 * 60},  {"MDT", -6 * 60},
    {"PST", -8 * 60}, {"PDT", -7 * 60}, {"AKST", -9 * 60}, {"AKDT", -8 * 60}, {"HST", -10 * 60},
    {"WET", 0},       {"WEST", 60},     {"BST", 60},       {"CET", 60},       {"CEST", 120},
    {"MET", 60},      {"MEST", 120},    {"EET", 120},      {"EEST", 180},     {"MSK", 180},
    {"IST", 330},     {"HKT", 480},     {"SGT", 480},      {"JST", 540},      {"KST", 540},
    {"AWST", 480},    {"ACST", 570},    {"AEST", 600},     {"AEDT", 660},     {"NZST", 720},
    {"NZDT", 780},
};

// What a format read from the text.
struct Fields
{
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    std::optional<QTimeZone> zone;
};

class Scanner
{
public:
    explicit Scanner(QStringView text) : m_text(text) {}

    bool atEnd() const { return m_position == m_text.size(); }

    bool literal(QChar c)
    {
        if (atEnd() || m_text[m_position] != c)
            return false;
        ++m_position;
        return true;
    }

    bool spaces()
    {
        const qsizetype start = m_position;
        while (!atEnd() && m_text[m_position].isSpace())
            ++m_position;
        return m_position > start;
    }

    // Between minimum and maximum ASCII digits.
    bool number(int minimum, int maximum, int& value)
    {
        value = 0;
        int count = 0;
        while (count < maximum && !atEnd() && m_text[m_position] >= u'0' && m_text[m_position] <= u'9') {
            value = value * 10 + (m_text[m_position].unicode() - '0');
            ++m_position;
            ++count;
        }
        return count >= minimum;
    }

    // One of the English names, in full or by its first three letters; its position.
    template <size_t N> bool name(const std::array<const char*, N>& names, bool abbreviated, int& index)
    {
        const QStringView word = letters();
        for (size_t i = 0; i < N; ++i) {
            const QLatin1StringView full(names[i]);
            if (word.compare(abbreviated ? full.first(3) : full, Qt::CaseInsensitive) == 0) {
                index = int(i);
                return true;
            }
        }
        return false;
    }

    // "+hhmm", "-hhmm" or "hhmm".
    bool offset(std::optional<QTimeZone>& zone)
    {
        int sign = 1;
        if (literal(u'-'))
            sign = -1;
        else
            literal(u'+');
        int hhmm = 0;
        if (!number(4, 4, hhmm) || hhmm % 100 >= 60 || hhmm / 100 > 23)
            return false;
        zone = QTimeZone(sign * (hhmm / 100 * 3600 + hhmm % 100 * 60));
        return true;
    }

    // An abbreviation such as "GMT" or "PDT", or a zone name such as "Europe/Berlin".
    bool zoneName(std::optional<QTimeZone>& zone)
    {
        const qsizetype start = m_position;
        while (!atEnd() &&
               (m_text[m_position].isLetter() || m_text[m_position] == u'/' || m_text[m_position] == u'_'))
            ++m_position;
        const QStringView word = m_text.sliced(start, m_position - start);
        for (const ZoneAbbreviation& abbreviation : zoneAbbreviations) {
            if (word == QLatin1String(abbreviation.name)) {
                zone = abbreviation.minutesAheadOfUtc == 0 ? QTimeZone::utc()
                                                           : QTimeZone(abbreviation.minutesAheadOfUtc * 60);
                return true;
            }
        }
        if (word.contains(u'/')) {
            QTimeZone named(word.toLatin1());
            if (named.isValid()) {
                zone = named;
                return true;
            }
        }
        return false;
    }

private:
    QStringView letters()
    {
        const qsizetype start = m_position;
        while (!atEnd() && m_text[m_position].isLetter())
            ++m_position;
        return m_text.sliced(start, m_position - start);
    }

    QStringView m_text;
    qsizetype m_position = 0;
};

std::optional<Fields> readWithFormat(QStringView text, const char* format)
{
    Scanner scanner(text);
    Fields fields;
    int unused = 0;
    for (const char* f = format; *f; ++f) {
        bool ok = true;
        if (*f == ' ') {
            ok = scanner.spaces();
        } else if (*f != '%') {
            ok = scanner.literal(QChar::fromLatin1(*f));
        } else {
            switch (*++f) {
            case 'Y':
                ok = scanner.number(4, 4, fields.year);
                break;
            case 'y':
                ok = scanner.number(2, 2, fields.year);
                fields.year += fields.year < 69 ? 2000 : 1900;
                break;
            case 'm':
                ok = scanner.number(1, 2, fields.month);
                break;
            case 'd':
                ok = scanner.number(1, 2, fields.day);
                break;
            case 'e':
                scanner.spaces();
                ok = scanner.number(1, 2, fields.day);
                break;
            case 'H':
                ok = scanner.number(1, 2, fields.hour);
                break;
            case 'M':
                ok = scanner.number(1, 2, fields.minute);
                break;
            case 'S':
                ok = scanner.number(1, 2, fields.second);
                break;
            case 'z':
                ok = scanner.offset(fields.zone);
                break;
            case 'Z':
                ok = scanner.zoneName(fields.zone);
                break;
            case 'a':
                ok = scanner.name(weekdayNames, true, unused);
                break;
            case 'A':
                ok = scanner.name(weekdayNames, false, unused);
                break;
            case 'b':
            case 'B':
                ok = scanner.name(monthNames, *f == 'b', fields.month);
                ++fields.month;
                break;
            default:
                ok = false;
            }
        }
        if (!ok)
            return std::nullopt;
    }
    if (!scanner.atEnd())
        return std::nullopt;
    return fields;
}

QDateTime dateFromFields(const Fields& fields, const QTimeZone& defaultZone)
{
    const QDate date(fields.year, fields.month, fields.day);
    const QTime time(fields.hour, fields.minute, fields.second);
    if (!date.isValid() || !time.isValid())
        return {};
    const QTimeZone& zone = fields.zone ? *fields.zone : defaultZone;
    return QDateTime(date, time, zone);
}

// No feed date is longer; longer text is not read at all.
constexpr qsizetype longestDateText = 128;

} // namespace

QDateTime FeedDateReader::dateFromString(const QString& text)
{
    QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    const QString logged = trimmed;
    QTimeZone defaultZone = QTimeZone::systemTimeZone();
    if (trimmed.endsWith(u'Z')) {
        trimmed.chop(1);
        trimmed = trimmed.trimmed();
        defaultZone = QTimeZone::utc();
    }
    if (trimmed.size() <= longestDateText) {
        QString withoutOffsetColon = trimmed;
        if (trimmed.size() >= 3 && trimmed.at(trimmed.size() - 3) == u':')
            withoutOffsetColon.remove(trimmed.size() - 3, 1);
        for (size_t i = 0; i < formats.size(); ++i) {
            const std::optional<Fields> fields =
                readWithFormat(i == 0 ? withoutOffsetColon : trimmed, formats[i]);
            if (fields) {
                const QDateTime date = dateFromFields(*fields, defaultZone);
                if (date.isValid())
                    return date;
            }
        }
    }
    qWarning("*** Error reading date: %s", qPrintable(logged.left(longestDateText)));
    return {};
}

} // namespace ombrelay
