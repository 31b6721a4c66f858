#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <vector>

#include "uikit/PZOutlineObject.h"

namespace ombrelay {

// One row of the source list: a folder ("Group"), a search ("Query") or a feed subscription ("RSS").
// It keeps its whole stored dictionary, unknown keys too; a folder owns its children. Identity is the
// address: two items with equal contents are still two items.
class SourceItem : public PZOutlineObject
{
public:
    enum class Type { Group, Query, RSS };

    // Names and search terms are capped at this many characters.
    static constexpr int kMaxNameLength = 512;
    // A stored list keeps at most this many items; the rest are dropped.
    static constexpr int kMaxItems = 20000;

    // Without a valid date the folder has no "creationDate".
    static std::unique_ptr<SourceItem> makeGroup(const QString& name, const QDateTime& created);
    static std::unique_ptr<SourceItem> makeQuery(const QString& terms);
    static std::unique_ptr<SourceItem> makeRSS(const QString& name, const QString& address);

    // A stored item, checked field by field: null for a non-dictionary or an unknown type; wrongly
    // typed fields read as absent. `budget` counts down the items still allowed (children included).
    static std::unique_ptr<SourceItem> fromVariant(const QVariant& stored, int* budget);
    QVariantMap toVariant() const;

    // Trimmed, control characters made spaces, capped at kMaxNameLength.
    static QString cleanedText(const QString& text);

    Type type() const { return m_type; }
    bool isGroup() const { return m_type == Type::Group; }
    bool isQuery() const { return m_type == Type::Query; }
    bool isRSS() const { return m_type == Type::RSS; }

    QString name() const;
    void setName(const QString& name);
    QString url() const;
    // "isExpanded" read as an integer; absent counts as collapsed.
    bool isExpanded() const;
    void setExpanded(bool expanded);
    const QVariantMap& dictionary() const { return m_dictionary; }

    SourceItem* parent() const { return m_parent; }
    int childCount() const { return int(m_children.size()); }
    SourceItem* child(int index) const;
    int indexOfChild(const SourceItem* child) const;
    void insertChild(int index, std::unique_ptr<SourceItem> child);
    std::unique_ptr<SourceItem> takeChild(int index);
    // True when this item lies inside `group` (at any depth).
    bool isInside(const SourceItem* group) const;
    int level() const;

    int outlineChildCount() const override { return childCount(); }
    PZOutlineObject* outlineChild(int index) const override { return child(index); }

private:
    SourceItem(Type type, QVariantMap dictionary) : m_type(type), m_dictionary(std::move(dictionary)) {}

    Type m_type;
    QVariantMap m_dictionary;  // every stored key but "children"
    std::vector<std::unique_ptr<SourceItem>> m_children;
    SourceItem* m_parent = nullptr;
};

}  // namespace ombrelay
