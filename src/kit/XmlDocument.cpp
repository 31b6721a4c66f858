#include "kit/XmlDocument.h"

#include "kit/HtmlText.h"

#include <libxml/HTMLparser.h>
#include <libxml/entities.h>
#include <libxml/parser.h>

#include <QHash>
#include <mutex>
#include <utility>

namespace ombrelay {
namespace {

// Entity declarations are where expansion bombs and external entities live; no feed needs its own.
void refuseEntityDeclaration(void* context, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*)
{
    auto* parser = static_cast<xmlParserCtxt*>(context);
    parser->_private = parser;  // marks the refusal
    xmlStopParser(parser);
}

// HTML's named entities as predefined ones, so the parser inserts their text and never expands anything.
// Made once per name and kept for the process; shared by parsers on every thread.
xmlEntity* htmlEntity(void*, const xmlChar* name)
{
    static std::mutex mutex;
    static auto& entities = *new QHash<QByteArray, xmlEntity*>;  // never freed: parsers may run at exit
    const QByteArray key(reinterpret_cast<const char*>(name));
    if (key.isEmpty() || key.size() > 32)
        return nullptr;
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = entities.constFind(key); found != entities.constEnd())
        return found.value();
    xmlEntity* entity = nullptr;
    const QString text = stringForHTMLEntity(QString::fromLatin1(key));
    if (!key.startsWith('#') && !text.isEmpty()) {
        const QByteArray utf8 = text.toUtf8();
        entity = xmlNewEntity(nullptr, name, XML_INTERNAL_PREDEFINED_ENTITY, nullptr, nullptr,
                              reinterpret_cast<const xmlChar*>(utf8.constData()));
    }
    if (entity)
        entities.insert(key, entity);  // unknown names are not kept: the table stays as small as HTML's
    return entity;
}

QString lastError(xmlParserCtxt* parser)
{
    const xmlError* error = xmlCtxtGetLastError(parser);
    if (!error || !error->message)
        return QStringLiteral("unreadable document");
    return QStringLiteral("line %1: %2").arg(error->line).arg(QString::fromUtf8(error->message).trimmed());
}

}  // namespace

XmlDocument XmlDocument::parse(const QByteArray& data, Syntax syntax, qsizetype maxBytes)
{
    XmlDocument document;
    if (data.isEmpty()) {
        document.m_error = QStringLiteral("no data");
        return document;
    }
    if (data.size() > maxBytes || data.size() > INT_MAX) {
        document.m_error = QStringLiteral("document of %1 bytes is larger than %2").arg(data.size()).arg(maxBytes);
        return document;
    }
    if (syntax == Syntax::Html) {
        htmlParserCtxt* parser = htmlNewParserCtxt();
        if (!parser) {
            document.m_error = QStringLiteral("out of memory");
            return document;
        }
        document.m_doc = htmlCtxtReadMemory(parser, data.constData(), int(data.size()), nullptr, nullptr,
                                            HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR
                                                | HTML_PARSE_NOWARNING);
        if (!document.m_doc)
            document.m_error = lastError(parser);
        htmlFreeParserCtxt(parser);
        return document;
    }

    xmlParserCtxt* parser = xmlNewParserCtxt();
    if (!parser) {
        document.m_error = QStringLiteral("out of memory");
        return document;
    }
    parser->sax->entityDecl = refuseEntityDeclaration;
    if (syntax == Syntax::XmlWithHtmlEntities)
        parser->sax->getEntity = htmlEntity;
    xmlDoc* doc = xmlCtxtReadMemory(parser, data.constData(), int(data.size()), nullptr, nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (parser->_private) {
        document.m_error = QStringLiteral("entity declarations are not accepted");
        xmlFreeDoc(doc);
    } else if (!doc || !parser->wellFormed) {
        document.m_error = lastError(parser);
        xmlFreeDoc(doc);
    } else {
        document.m_doc = doc;
    }
    xmlFreeParserCtxt(parser);
    return document;
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept
    : m_doc(std::exchange(other.m_doc, nullptr)), m_error(std::move(other.m_error))
{
}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept
{
    if (this != &other) {
        xmlFreeDoc(m_doc);
        m_doc = std::exchange(other.m_doc, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

XmlDocument::~XmlDocument()
{
    xmlFreeDoc(m_doc);
}

XmlElement XmlDocument::rootElement() const
{
    return XmlElement(m_doc ? xmlDocGetRootElement(m_doc) : nullptr);
}

}  // namespace ombrelay
