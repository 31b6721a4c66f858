#include "search/suggestions/SuggestionLoader.h"

#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"

#include <optional>

namespace ombrelay {
namespace {

// Reads the JSON values of a reply from a start position, never past its end.
class ReplyScanner
{
public:
    ReplyScanner(const QByteArray& data, qsizetype at) : m_data(data), m_at(at) {}

    bool atEnd() const { return m_at >= m_data.size(); }
    char peek() const { return atEnd() ? '\0' : m_data.at(m_at); }
    void skipSpaces()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++m_at;
    }
    bool take(char c)
    {
        skipSpaces();
        if (peek() != c)
            return false;
        ++m_at;
        return true;
    }

    // A string whose opening quote has been taken.
    std::optional<QString> string()
    {
        QByteArray utf8;
        QString text;
        auto flush = [&] {
            text += QString::fromUtf8(utf8);
            utf8.clear();
        };
        while (!atEnd()) {
            // Plain bytes up to the next quote or escape go in at once.
            const qsizetype from = m_at;
            while (!atEnd() && m_data.at(m_at) != '"' && m_data.at(m_at) != '\\')
                ++m_at;
            utf8.append(m_data.constData() + from, m_at - from);
            if (atEnd())
                break;
            const char c = m_data.at(m_at++);
            if (c == '"') {
                flush();
                return text;
            }
            if (atEnd())
                return std::nullopt;
            const char e = m_data.at(m_at++);
            flush();
            switch (e) {
            case 'b': text += u'\b'; break;
            case 'f': text += u'\f'; break;
            case 'n': text += u'\n'; break;
            case 'r': text += u'\r'; break;
            case 't': text += u'\t'; break;
            case 'u': {
                const std::optional<char16_t> unit = hexUnit();
                if (!unit)
                    return std::nullopt;
                text += QChar(*unit);
                break;
            }
            default: text += QChar::fromLatin1(e); break;  // '"', '\\', '/' and anything else as itself
            }
        }
        return std::nullopt;
    }

    // Skips one value of any kind; false on a cut or malformed value.
    bool skipValue()
    {
        skipSpaces();
        if (take('"'))
            return bool(string());
        if (peek() == '[' || peek() == '{') {
            int depth = 0;
            while (!atEnd()) {
                const char c = m_data.at(m_at++);
                if (c == '"' && !string())
                    return false;
                if (c == '[' || c == '{')
                    ++depth;
                else if ((c == ']' || c == '}') && --depth == 0)
                    return true;
            }
            return false;
        }
        const qsizetype from = m_at;
        while (!atEnd() && peek() != ',' && peek() != ']' && peek() != '}')
            ++m_at;
        return m_at > from;
    }

private:
    std::optional<char16_t> hexUnit()
    {
        if (m_at + 4 > m_data.size())
            return std::nullopt;
        bool ok = false;
        const uint value = m_data.mid(m_at, 4).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        m_at += 4;
        return char16_t(value);
    }

    const QByteArray& m_data;
    qsizetype m_at;
};

QString oneLine(QString text)
{
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    return text.trimmed();
}

// The first string of the record whose opening bracket has been taken; the rest of it is skipped.
std::optional<QString> recordText(ReplyScanner& scanner)
{
    QString text;
    if (scanner.take(']'))
        return text;
    if (scanner.take('"')) {
        const std::optional<QString> first = scanner.string();
        if (!first)
            return std::nullopt;
        text = *first;
    } else if (!scanner.skipValue()) {
        return std::nullopt;
    }
    while (!scanner.take(']'))
        if (!scanner.take(',') || !scanner.skipValue())
            return std::nullopt;
    return text;
}

}  // namespace

SuggestionLoader::SuggestionLoader(const QString& queryString, QObject* parent) : PZHTTPLoader(parent)
{
    setMaxBodySize(kReplyCap);
    setTimeoutMs(kTimeoutMs);
    const QString address = QStringLiteral("http://%1/complete/search?client=safari&q=%2")
                                .arg(QLatin1String(service::kSuggestionHost), escapedString(queryString));
    loadEncodedURL(address.toLatin1());
}

bool SuggestionLoader::isBlocked(const QString& text)
{
    const QString lower = text.toLower();
    return lower.contains(QLatin1String("serial")) || lower.contains(QLatin1String("crack"))
        || lower.contains(QLatin1String("lyrics"));
}

QStringList SuggestionLoader::resultsFromData(const QByteArray& data)
{
    QStringList results;
    const QByteArray reply = data.left(kReplyCap);
    const qsizetype start = reply.indexOf("\",[[");
    if (start < 0 || reply.indexOf("]]]", start) < 0)
        return results;
    ReplyScanner scanner(reply, start + 3);  // at the first record's bracket
    while (results.size() < kMaxSuggestions && scanner.take('[')) {
        const std::optional<QString> text = recordText(scanner);
        if (!text)
            break;
        const QString line = oneLine(*text);
        if (!line.isEmpty() && !isBlocked(line))
            results.append(line);
        if (!scanner.take(','))
            break;
    }
    return results;
}

void SuggestionLoader::handleCompletion()
{
    if (statusCode() < 200 || statusCode() > 299)
        return;
    m_suggestedStrings = resultsFromData(data());
    emit suggestionsLoaded(this);
}

}  // namespace ombrelay
