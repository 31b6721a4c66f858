#include "kit/HtmlText.h"

#include "kit/TextHelpers.h"

#include <QHash>

namespace ombrelay {
namespace {

// The name at position i stands for U+00A0 + i.
constexpr const char16_t* latin1EntityNames[96] = {
    u"nbsp",   u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",   u"uml",
    u"copy",   u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",   u"deg",    u"plusmn",
    u"sup2",   u"sup3",   u"acute",  u"micro",  u"para",   u"middot", u"cedil",  u"sup1",   u"ordm",
    u"raquo",  u"frac14", u"frac12", u"frac34", u"iquest", u"Agrave", u"Aacute", u"Acirc",  u"Atilde",
    u"Auml",   u"Aring",  u"AElig",  u"Ccedil", u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave",
    u"Iacute", u"Icirc",  u"Iuml",   u"ETH",    u"Ntilde", u"Ograve", u"Oacute", u"Ocirc",  u"Otilde",
    u"Ouml",   u"times",  u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",  u"Uuml",   u"Yacute", u"THORN",
    u"szlig",  u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",  u"aelig",  u"ccedil",
    u"egrave", u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",   u"eth",
    u"ntilde", u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide", u"oslash", u"ugrave",
    u"uacute", u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml",
};

const QHash<QStringView, char16_t>& namedEntities()
{
    static const QHash<QStringView, char16_t> table = [] {
        QHash<QStringView, char16_t> names;
        for (int i = 0; i < 96; ++i)
            names.insert(QStringView(latin1EntityNames[i]), char16_t(0xa0 + i));
        names.insert(u"lt", u'<');
        names.insert(u"gt", u'>');
        names.insert(u"amp", u'&');
        names.insert(u"quot", u'"');
        names.insert(u"apos", u'\'');
        return names;
    }();
    return table;
}

constexpr char32_t replacementCharacter = 0xfffd;
constexpr char32_t largestCodePoint = 0x10ffff;

// "#65", "#x41": the leading digits after "#" (or "#x"); anything unusable gives U+FFFD.
QString numericEntity(QStringView digits)
{
    int base = 10;
    if (digits.startsWith(u'x') || digits.startsWith(u'X')) {
        base = 16;
        digits = digits.sliced(1);
    }
    char32_t code = 0;
    for (QChar c : digits) {
        const int digit = asciiDigitValue(c, base);
        if (digit < 0)
            break;
        code = code * char32_t(base) + char32_t(digit);
        if (code > largestCodePoint)
            break;
    }
    if (code == 0 || code > largestCodePoint || (code >= 0xd800 && code <= 0xdfff))
        code = replacementCharacter;
    return QString::fromUcs4(&code, 1);
}

// Entity names are short runs of letters and digits, or "#" and digits.
bool couldBeEntityName(QStringView name)
{
    if (name.size() > 32)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const bool ascii = c.unicode() < 0x80;
        if (!(ascii && c.isLetterOrNumber()) && !(i == 0 && c == u'#'))
            return false;
    }
    return true;
}

} // namespace

QString stringForHTMLEntity(QStringView name)
{
    const auto named = namedEntities().constFind(name);
    if (named != namedEntities().constEnd())
        return QString(QChar(named.value()));
    if (name.startsWith(u'#'))
        return numericEntity(name.sliced(1));
    return {};
}

QString stringByRemovingHTMLEntities(QStringView text)
{
    QString result;
    result.reserve(text.size());
    qsizetype scan = 0;
    while (scan < text.size()) {
        const qsizetype ampersand = text.indexOf(u'&', scan);
        if (ampersand < 0) {
            result.append(text.sliced(scan));
            break;
        }
        result.append(text.sliced(scan, ampersand - scan));
        scan = ampersand + 1;
        const qsizetype semicolon = text.indexOf(u';', scan);
        const QStringView name = semicolon < 0 ? QStringView() : text.sliced(scan, semicolon - scan);
        if (name.isEmpty() || !couldBeEntityName(name)) {
            result.append(u'&');
            continue;
        }
        result.append(stringForHTMLEntity(name));
        scan = semicolon + 1;
    }
    return result;
}

QString stringByRemovingHTMLTags(const QString& text)
{
    if (!text.contains(u'<'))
        return text;
    QString result;
    result.reserve(text.size());
    bool insideTag = false;
    for (QChar c : text) {
        if (insideTag) {
            if (c == u'>') {
                insideTag = false;
                result.append(u' ');
            }
        } else if (c == u'<') {
            insideTag = true;
        } else if (c == u'"') {
            result.append(u"&quot;");
        } else {
            result.append(c);
        }
    }
    return result;
}

QString xmlEscapedString(QString text)
{
    text.replace(QChar(u'&'), QStringLiteral("&amp;"));
    text.replace(QChar(u'<'), QStringLiteral("&lt;"));
    text.replace(QChar(u'>'), QStringLiteral("&gt;"));
    text.replace(QChar(u'\''), QStringLiteral("&apos;"));
    text.replace(QChar(u'"'), QStringLiteral("&quot;"));
    return text;
}

} // namespace ombrelay
