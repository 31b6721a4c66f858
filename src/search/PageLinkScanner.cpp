#include "search/PageLinkScanner.h"

#include "kit/HtmlText.h"
#include "search/TorrentLinkRules.h"

#include <QSet>

namespace ombrelay {
namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\f');
}

// The next position at or after `from` where `isEnd` holds, remembered: callers ask with growing `from`,
// so the whole text is walked at most once per finder.
template <typename Predicate>
class NextEnd
{
public:
    NextEnd(QStringView text, Predicate isEnd) : m_text(text), m_isEnd(isEnd) {}

    qsizetype from(qsizetype start)
    {
        if (m_found >= start)
            return m_found;
        qsizetype i = std::max(start, m_scanned);
        while (i < m_text.size() && !m_isEnd(m_text[i]))
            ++i;
        m_scanned = i;
        m_found = i < m_text.size() ? i : m_text.size() + 1;
        return m_found;
    }

private:
    QStringView m_text;
    Predicate m_isEnd;
    qsizetype m_found = -1;
    qsizetype m_scanned = 0;
};

qsizetype findHref(QStringView text, qsizetype from)
{
    const qsizetype last = text.size() - 4;
    for (qsizetype i = from; i <= last; ++i) {
        const char16_t c = text[i].unicode();
        if ((c | 0x20) != u'h')
            continue;
        if ((text[i + 1].unicode() | 0x20) == u'r' && (text[i + 2].unicode() | 0x20) == u'e'
            && (text[i + 3].unicode() | 0x20) == u'f')
            return i;
    }
    return -1;
}

}  // namespace

QString PageLinkScanner::absoluteAddress(const QString& value, const QUrl& pageAddress)
{
    const QUrl relative(value.contains(QLatin1Char('&')) ? stringByRemovingHTMLEntities(value) : value);
    if (!relative.isValid())
        return {};
    const QUrl resolved = pageAddress.resolved(relative);
    const QString scheme = resolved.scheme();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || resolved.host().isEmpty())
        return {};
    return resolved.toString(QUrl::FullyEncoded);
}

PageLinkScanner::Result PageLinkScanner::extractLinks(QStringView text, const QUrl& pageAddress, int maxLinks)
{
    Result result;
    if (text.isEmpty())
        return result;
    NextEnd doubleQuote(text, [](QChar c) { return c == QLatin1Char('"'); });
    NextEnd singleQuote(text, [](QChar c) { return c == QLatin1Char('\''); });
    NextEnd unquoted(text, [](QChar c) { return isBlank(c) || c == QLatin1Char('>'); });
    QSet<QString> seen;
    qsizetype position = 0;
    for (;;) {
        const qsizetype href = findHref(text, position);
        if (href < 0)
            break;
        qsizetype start = href + 4;
        while (start < text.size() && (text[start] == QLatin1Char('=') || isBlank(text[start])))
            ++start;
        qsizetype end;
        if (start < text.size() && text[start] == QLatin1Char('"'))
            end = doubleQuote.from(++start);
        else if (start < text.size() && text[start] == QLatin1Char('\''))
            end = singleQuote.from(++start);
        else
            end = unquoted.from(start);
        position = start;
        if (end > text.size())
            continue;  // no end: the next "href" may still have one
        const QString address = absoluteAddress(text.mid(start, end - start).toString(), pageAddress);
        if (address.isNull())
            continue;
        const QString link = TorrentLinkRules::torrentAddressFromAddress(address);
        if (link.isNull() || seen.contains(link))
            continue;
        if (result.links.size() >= maxLinks) {
            result.truncated = true;
            break;
        }
        seen.insert(link);
        result.links.append(link);
    }
    return result;
}

}  // namespace ombrelay
