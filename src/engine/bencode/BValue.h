#pragma once

#include <QByteArray>
#include <QString>
#include <cstring>
#include <map>
#include <memory>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace ombrelay {

// Orders keys as raw unsigned bytes, the order bencoded dictionaries are written in.
struct RawBytesLess
{
    bool operator()(const QByteArray& a, const QByteArray& b) const
    {
        const int c = std::memcmp(a.constData(), b.constData(), size_t(std::min(a.size(), b.size())));
        return c != 0 ? c < 0 : a.size() < b.size();
    }
};

// A bencoded value: a dictionary keyed by byte strings, a list, a signed 64-bit integer or a byte
// string, or null (what a refused input decodes to). Byte strings stay bytes; asText() makes text
// where text is wanted. Copies are deep; destruction is iterative, so depth never overflows the stack.
class BValue
{
public:
    using List = std::vector<BValue>;
    using Dict = std::map<QByteArray, BValue, RawBytesLess>;
    enum class Type { Null, Integer, Bytes, List, Dictionary };

    BValue() = default;
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    BValue(T value) : m_data(qint64(value)) {}
    BValue(const QByteArray& bytes) : m_data(bytes) {}
    BValue(QByteArray&& bytes) : m_data(std::move(bytes)) {}
    BValue(const char* text) : m_data(QByteArray(text)) {}
    BValue(const QString& text) : m_data(text.toUtf8()) {}  // written as UTF-8
    BValue(List list) : m_data(std::make_unique<List>(std::move(list))) {}
    BValue(Dict dict) : m_data(std::make_unique<Dict>(std::move(dict))) {}
    static BValue list() { return BValue(List()); }
    static BValue dictionary() { return BValue(Dict()); }

    BValue(const BValue& other);
    BValue(BValue&& other) noexcept : m_data(std::exchange(other.m_data, {})) {}
    BValue& operator=(const BValue& other);
    BValue& operator=(BValue&& other) noexcept;
    ~BValue();

    Type type() const { return Type(m_data.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isInt() const { return type() == Type::Integer; }
    bool isBytes() const { return type() == Type::Bytes; }
    bool isList() const { return type() == Type::List; }
    bool isDict() const { return type() == Type::Dictionary; }

    qint64 asInt(qint64 fallback = 0) const;   // fallback unless an integer
    QByteArray asBytes() const;                // empty unless a byte string
    QString asText() const;                    // UTF-8, else Latin-1; null unless a byte string
    const List& asList() const;                // empty unless a list
    const Dict& asDict() const;                // empty unless a dictionary

    // Elements of a list or dictionary, bytes of a byte string, 0 otherwise.
    qsizetype size() const;

    // Dictionary lookup: nullptr when absent or when this is not a dictionary.
    const BValue* find(const QByteArray& key) const;
    // The value under key, or a null value.
    const BValue& operator[](const QByteArray& key) const;
    // The element at index of a list, or a null value.
    const BValue& at(qsizetype index) const;

    // Building: insert turns a null value into a dictionary, append into a list; either is ignored
    // on a value of another type.
    void insert(const QByteArray& key, BValue value);
    void append(BValue value);
    List* mutableList();   // nullptr unless a list
    Dict* mutableDict();   // nullptr unless a dictionary

    // Values compare equal when they have the same type and contents.
    bool operator==(const BValue& other) const;

    static const BValue& null();

private:
    std::variant<std::monostate, qint64, QByteArray, std::unique_ptr<List>, std::unique_ptr<Dict>> m_data;
};

}  // namespace ombrelay
