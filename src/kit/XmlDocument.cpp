#include "kit/XmlDocument.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

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
