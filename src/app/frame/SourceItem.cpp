#include "app/frame/SourceItem.h"

namespace ombrelay {

namespace {

const QString kType = QStringLiteral("type");
const QString kName = QStringLiteral("name");
const QString kChildren = QStringLiteral("children");
const QString kCreationDate = QStringLiteral("creationDate");
const QString kIsExpanded = QStringLiteral("isExpanded");
const QString kURL = QStringLiteral("url");

bool typeFromString(const QString& text, SourceItem::Type* type)
{
    if (text == QLatin1String("Group"))
        *type = SourceItem::Type::Group;
    else if (text == QLatin1String("Query"))
        *type = SourceItem::Type::Query;
    else if (text == QLatin1String("RSS"))
        *type = SourceItem::Type::RSS;
    else
        return false;
    return true;
}

QString typeString(SourceItem::Type type)
{
    switch (type) {
    case SourceItem::Type::Group:
        return QStringLiteral("Group");
    case SourceItem::Type::Query:
        return QStringLiteral("Query");
    case SourceItem::Type::RSS:
        break;
    }
    return QStringLiteral("RSS");
}

}  // namespace

std::unique_ptr<SourceItem> SourceItem::makeGroup(const QString& name, const QDateTime& created)
{
    QVariantMap dictionary{{kType, typeString(Type::Group)}, {kName, cleanedText(name)}};
    if (created.isValid())
        dictionary.insert(kCreationDate, created);
    return std::unique_ptr<SourceItem>(new SourceItem(Type::Group, std::move(dictionary)));
}

std::unique_ptr<SourceItem> SourceItem::makeQuery(const QString& terms)
{
    return std::unique_ptr<SourceItem>(
        new SourceItem(Type::Query, {{kType, typeString(Type::Query)}, {kName, cleanedText(terms)}}));
}

std::unique_ptr<SourceItem> SourceItem::makeRSS(const QString& name, const QString& address)
{
    return std::unique_ptr<SourceItem>(new SourceItem(
        Type::RSS, {{kType, typeString(Type::RSS)}, {kName, cleanedText(name)}, {kURL, address.trimmed()}}));
}

QString SourceItem::cleanedText(const QString& text)
{
    QString cleaned = text.left(kMaxNameLength * 4);
    for (QChar& c : cleaned) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    cleaned = cleaned.trimmed();
    if (cleaned.size() > kMaxNameLength) {
        // Never split a surrogate pair.
        int cut = kMaxNameLength;
        if (cleaned.at(cut - 1).isHighSurrogate())
            --cut;
        cleaned.truncate(cut);
    }
    return cleaned;
}

std::unique_ptr<SourceItem> SourceItem::fromVariant(const QVariant& stored, int* budget)
{
    if (*budget <= 0 || stored.typeId() != QMetaType::QVariantMap)
        return nullptr;
    QVariantMap dictionary = stored.toMap();
    Type type;
    if (dictionary.value(kType).typeId() != QMetaType::QString || !typeFromString(dictionary.value(kType).toString(), &type))
        return nullptr;
    --*budget;
    const QVariant children = dictionary.take(kChildren);
    auto stringField = [&](const QString& key) {
        if (dictionary.contains(key) && dictionary.value(key).typeId() != QMetaType::QString)
            dictionary.remove(key);
    };
    stringField(kName);
    stringField(kURL);
    stringField(kIsExpanded);
    if (dictionary.contains(kCreationDate) && dictionary.value(kCreationDate).typeId() != QMetaType::QDateTime)
        dictionary.remove(kCreationDate);
    if (dictionary.contains(kName))
        dictionary.insert(kName, cleanedText(dictionary.value(kName).toString()));
    if (dictionary.contains(kURL))
        dictionary.insert(kURL, dictionary.value(kURL).toString().left(kMaxNameLength * 16).trimmed());
    std::unique_ptr<SourceItem> item(new SourceItem(type, std::move(dictionary)));
    if (type == Type::Group && children.typeId() == QMetaType::QVariantList) {
        for (const QVariant& entry : children.toList()) {
            if (*budget <= 0)
                break;
            if (std::unique_ptr<SourceItem> child = fromVariant(entry, budget))
                item->insertChild(item->childCount(), std::move(child));
        }
    }
    return item;
}

QVariantMap SourceItem::toVariant() const
{
    QVariantMap stored = m_dictionary;
    if (isGroup()) {
        QVariantList children;
        children.reserve(qsizetype(m_children.size()));
        for (const auto& child : m_children)
            children.append(child->toVariant());
        stored.insert(kChildren, children);
    }
    return stored;
}

QString SourceItem::name() const
{
    return m_dictionary.value(kName).toString();
}

void SourceItem::setName(const QString& name)
{
    m_dictionary.insert(kName, cleanedText(name));
}

QString SourceItem::url() const
{
    return m_dictionary.value(kURL).toString();
}

bool SourceItem::isExpanded() const
{
    return m_dictionary.value(kIsExpanded).toString().trimmed().toLongLong() != 0;
}

void SourceItem::setExpanded(bool expanded)
{
    m_dictionary.insert(kIsExpanded, expanded ? QStringLiteral("1") : QStringLiteral("0"));
}

SourceItem* SourceItem::child(int index) const
{
    return index >= 0 && index < childCount() ? m_children[size_t(index)].get() : nullptr;
}

int SourceItem::indexOfChild(const SourceItem* child) const
{
    for (int i = 0; i < childCount(); ++i) {
        if (m_children[size_t(i)].get() == child)
            return i;
    }
    return -1;
}

void SourceItem::insertChild(int index, std::unique_ptr<SourceItem> child)
{
    index = std::clamp(index, 0, childCount());
    child->m_parent = this;
    m_children.insert(m_children.begin() + index, std::move(child));
}

std::unique_ptr<SourceItem> SourceItem::takeChild(int index)
{
    if (index < 0 || index >= childCount())
        return nullptr;
    std::unique_ptr<SourceItem> taken = std::move(m_children[size_t(index)]);
    m_children.erase(m_children.begin() + index);
    taken->m_parent = nullptr;
    return taken;
}

bool SourceItem::isInside(const SourceItem* group) const
{
    for (const SourceItem* up = m_parent; up; up = up->m_parent) {
        if (up == group)
            return true;
    }
    return false;
}

int SourceItem::level() const
{
    int level = 0;
    for (const SourceItem* up = m_parent; up; up = up->m_parent)
        ++level;
    return level;
}

}  // namespace ombrelay
