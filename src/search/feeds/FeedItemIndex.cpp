#include "search/feeds/FeedItemIndex.h"

namespace ombrelay {
namespace {

QString text(const QVariantMap& item, const char* key)
{
    const QVariant v = item.value(QLatin1String(key));
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

QString textKey(const QVariantMap& item)
{
    return text(item, "title") + QChar(0) + text(item, "description");
}

}  // namespace

bool FeedItemIndex::contains(const QVariantMap& item) const
{
    const QString guid = text(item, "guid");
    const QString enclosure = text(item, "enclosureURL");
    const QString link = text(item, "link");
    if (!guid.isEmpty() && m_guids.contains(guid))
        return true;
    if (!enclosure.isEmpty() && m_enclosures.contains(enclosure))
        return true;
    if (!link.isEmpty()) {
        const quint8 flags = m_links.value(link, 0);
        const quint8 needed = guid.isEmpty() ? (enclosure.isEmpty() ? AnyItem : NoEnclosure)
                                             : (enclosure.isEmpty() ? NoGuid : NoGuidNorEnclosure);
        if (flags & needed)
            return true;
    }
    if (guid.isEmpty() && enclosure.isEmpty() && link.isEmpty())
        return m_texts.contains(textKey(item));
    return false;
}

void FeedItemIndex::insert(const QVariantMap& item)
{
    const QString guid = text(item, "guid");
    const QString enclosure = text(item, "enclosureURL");
    const QString link = text(item, "link");
    if (!guid.isEmpty())
        m_guids.insert(guid);
    if (!enclosure.isEmpty())
        m_enclosures.insert(enclosure);
    if (!link.isEmpty()) {
        quint8& flags = m_links[link];
        flags |= AnyItem;
        if (guid.isEmpty())
            flags |= NoGuid;
        if (enclosure.isEmpty())
            flags |= NoEnclosure;
        if (guid.isEmpty() && enclosure.isEmpty())
            flags |= NoGuidNorEnclosure;
    }
    if (guid.isEmpty() && enclosure.isEmpty() && link.isEmpty())
        m_texts.insert(textKey(item));
}

void FeedItemIndex::clear()
{
    *this = FeedItemIndex();
}

}  // namespace ombrelay
