#include "search/feeds/FeedItem.h"

#include <atomic>

namespace ombrelay {
namespace {

std::atomic<quint64> departureCount{0};

}  // namespace

QString FeedItem::string(const QString& key) const
{
    const QVariant v = m_values.value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

void FeedItem::setValue(const QString& key, const QVariant& value)
{
    m_values.insert(key, value);
    if (m_changed)
        m_changed();
}

bool FeedItem::isNew() const
{
    const QVariant v = m_values.value(QStringLiteral("isNew"));
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString)
        return v.toString().toInt() != 0;
    return v.canConvert<qint64>() && v.toLongLong() != 0;
}

void FeedItem::joinFeed(std::function<void()> changed)
{
    m_inFeed = true;
    m_changed = std::move(changed);
}

void FeedItem::leaveFeed()
{
    if (!m_inFeed)
        return;
    m_inFeed = false;
    m_changed = nullptr;
    ++departureCount;
}

quint64 FeedItem::departures()
{
    return departureCount.load();
}

}  // namespace ombrelay
