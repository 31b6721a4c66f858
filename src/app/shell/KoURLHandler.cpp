#include "app/shell/KoURLHandler.h"

namespace ombrelay {

namespace {
const QLatin1String kSearchScheme("ombrelaysearch:");
const QLatin1String kMagnetScheme("magnet:");
}  // namespace

KoURLHandler::Kind KoURLHandler::kindOf(const QString& address)
{
    if (address.startsWith(kSearchScheme, Qt::CaseInsensitive))
        return Kind::Search;
    if (address.startsWith(kMagnetScheme, Qt::CaseInsensitive))
        return Kind::Magnet;
    return Kind::Ignored;
}

QString KoURLHandler::searchQuery(const QString& address)
{
    if (kindOf(address) != Kind::Search)
        return {};
    // Bounded before decoding: a longer address cannot give more than the cap anyway (an escape is 3
    // characters for at most one).
    return cleansedURL(address.mid(kSearchScheme.size(), 4 * kMaxQueryLength));
}

QString KoURLHandler::cleansedURL(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char('/'))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char('/'))
        --end;
    QByteArray bytes = text.mid(begin, end - begin).toUtf8();
    bytes.replace('+', ' ');
    return cleansedText(QString::fromUtf8(QByteArray::fromPercentEncoding(bytes)));
}

QString KoURLHandler::cleansedText(const QString& text)
{
    QString kept;
    kept.reserve(qMin(text.size(), qsizetype(kMaxQueryLength)));
    for (const QChar c : text) {
        // A control between two words still parts them.
        const bool control = c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
                             c == QChar::ParagraphSeparator;
        kept.append(control ? QChar(QLatin1Char(' ')) : c);
    }
    kept = kept.simplified();
    if (kept.size() > kMaxQueryLength) {
        kept.truncate(kMaxQueryLength);
        if (kept.back().isHighSurrogate())
            kept.chop(1);
    }
    return kept;
}

}  // namespace ombrelay
