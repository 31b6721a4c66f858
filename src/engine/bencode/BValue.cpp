#include "engine/bencode/BValue.h"

#include "kit/TextHelpers.h"

namespace ombrelay {

namespace {

const BValue::List kEmptyList;
const BValue::Dict kEmptyDict;

// Moves the containers held directly by value into pending, leaving null values behind.
void moveNestedContainers(BValue& value, std::vector<BValue>& pending)
{
    auto take = [&pending](BValue& child) {
        if (child.isList() || child.isDict())
            pending.push_back(std::move(child));
    };
    if (auto* list = value.mutableList()) {
        for (BValue& child : *list)
            take(child);
    } else if (auto* dict = value.mutableDict()) {
        for (auto& entry : *dict)
            take(entry.second);
    }
}

}  // namespace

BValue::BValue(const BValue& other)
{
    *this = other;
}

BValue& BValue::operator=(const BValue& other)
{
    if (this == &other)
        return *this;
    BValue copy;
    switch (other.type()) {
    case Type::Null: break;
    case Type::Integer: copy.m_data = std::get<qint64>(other.m_data); break;
    case Type::Bytes: copy.m_data = std::get<QByteArray>(other.m_data); break;
    case Type::List: copy.m_data = std::make_unique<List>(other.asList()); break;
    case Type::Dictionary: copy.m_data = std::make_unique<Dict>(other.asDict()); break;
    }
    return *this = std::move(copy);
}

BValue& BValue::operator=(BValue&& other) noexcept
{
    if (this != &other) {
        BValue old(std::move(*this));
        m_data = std::exchange(other.m_data, {});
    }
    return *this;
}

BValue::~BValue()
{
    if (!isList() && !isDict())
        return;
    std::vector<BValue> pending;
    moveNestedContainers(*this, pending);
    while (!pending.empty()) {
        BValue last = std::move(pending.back());
        pending.pop_back();
        moveNestedContainers(last, pending);
    }
}

qint64 BValue::asInt(qint64 fallback) const
{
    const qint64* value = std::get_if<qint64>(&m_data);
    return value ? *value : fallback;
}

QByteArray BValue::asBytes() const
{
    const QByteArray* bytes = std::get_if<QByteArray>(&m_data);
    return bytes ? *bytes : QByteArray();
}

QString BValue::asText() const
{
    const QByteArray* bytes = std::get_if<QByteArray>(&m_data);
    if (!bytes)
        return {};
    QString text = stringWithData(*bytes);
    if (text.isNull())
        text = QLatin1String("");
    return text;
}

const BValue::List& BValue::asList() const
{
    const auto* list = std::get_if<std::unique_ptr<List>>(&m_data);
    return list && *list ? **list : kEmptyList;
}

const BValue::Dict& BValue::asDict() const
{
    const auto* dict = std::get_if<std::unique_ptr<Dict>>(&m_data);
    return dict && *dict ? **dict : kEmptyDict;
}

qsizetype BValue::size() const
{
    switch (type()) {
    case Type::Bytes: return std::get<QByteArray>(m_data).size();
    case Type::List: return qsizetype(asList().size());
    case Type::Dictionary: return qsizetype(asDict().size());
    default: return 0;
    }
}

const BValue* BValue::find(const QByteArray& key) const
{
    if (!isDict())
        return nullptr;
    const Dict& dict = asDict();
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : &it->second;
}

const BValue& BValue::operator[](const QByteArray& key) const
{
    const BValue* value = find(key);
    return value ? *value : null();
}

const BValue& BValue::at(qsizetype index) const
{
    const List& list = asList();
    return index >= 0 && size_t(index) < list.size() ? list[size_t(index)] : null();
}

void BValue::insert(const QByteArray& key, BValue value)
{
    if (isNull())
        *this = dictionary();
    if (Dict* dict = mutableDict())
        dict->insert_or_assign(key, std::move(value));
}

void BValue::append(BValue value)
{
    if (isNull())
        *this = list();
    if (List* list = mutableList())
        list->push_back(std::move(value));
}

BValue::List* BValue::mutableList()
{
    auto* list = std::get_if<std::unique_ptr<List>>(&m_data);
    return list ? list->get() : nullptr;
}

BValue::Dict* BValue::mutableDict()
{
    auto* dict = std::get_if<std::unique_ptr<Dict>>(&m_data);
    return dict ? dict->get() : nullptr;
}

bool BValue::operator==(const BValue& other) const
{
    if (type() != other.type())
        return false;
    switch (type()) {
    case Type::Null: return true;
    case Type::Integer: return asInt() == other.asInt();
    case Type::Bytes: return std::get<QByteArray>(m_data) == std::get<QByteArray>(other.m_data);
    case Type::List: return asList() == other.asList();
    case Type::Dictionary: return asDict() == other.asDict();
    }
    return false;
}

const BValue& BValue::null()
{
    static const BValue value;
    return value;
}

}  // namespace ombrelay
