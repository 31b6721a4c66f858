#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariantMap>

namespace ombrelay {

// Finds a feed's stored item that a new entry repeats, by hashes rather than by walking the items. An
// entry repeats a stored item when their guids are equal, or their enclosures are, or their links are and
// neither the guids nor the enclosures differ; entries with no guid, link or enclosure repeat one with
// the same title and description. A value type (implicitly shared), so a worker can extend a copy.
class FeedItemIndex
{
public:
    bool contains(const QVariantMap& item) const;
    void insert(const QVariantMap& item);
    void clear();

private:
    QSet<QString> m_guids;
    QSet<QString> m_enclosures;
    // Per link, which of its items lack a guid or an enclosure: equal guids and enclosures were already
    // found by their own sets, so a link repeats an item only where one side has no such value.
    enum LinkFlags : quint8 { AnyItem = 1, NoGuid = 2, NoEnclosure = 4, NoGuidNorEnclosure = 8 };
    QHash<QString, quint8> m_links;
    QSet<QString> m_texts;                                   // title and description of keyless items
};

}  // namespace ombrelay
