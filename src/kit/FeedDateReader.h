#pragma once

#include <QDateTime>
#include <QString>

namespace ombrelay {

// Reads the date spellings found in feeds (RFC 822 and its variants, ISO 8601 and a few others), in
// English. A text with a numeric offset or a zone name gives that zone; a text ending in "Z" is UTC;
// any other text is read in the local time zone.
class FeedDateReader
{
public:
    // A null date for empty text, and for an unreadable one (which is logged).
    static QDateTime dateFromString(const QString& text);
};

} // namespace ombrelay
