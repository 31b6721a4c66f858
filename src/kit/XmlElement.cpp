#include "kit/XmlElement.h"

#include <libxml/tree.h>

namespace ombrelay {
namespace {

QString fromXml(const xmlChar* text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

QString nonEmpty(const QString& text)
{
    return text.isEmpty() ? QString() : text;
}

}  // namespace

QString XmlElement::name() const
{
    if (!m_node)
        return {};
    const QString local = fromXml(m_node->name);
    if (m_node->ns && m_node->ns->prefix)
        return fromXml(m_node->ns->prefix) + QLatin1Char(':') + local;
    return local;
}

QList<XmlElement> XmlElement::childElements() const
{
    QList<XmlElement> children;
    if (m_node)
        for (xmlNode* child = m_node->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                children.append(XmlElement(child));
    return children;
}

QList<XmlElement> XmlElement::elementsForName(const QString& name) const
{
    QList<XmlElement> found;
    for (const XmlElement& child : childElements())
        if (child.name() == name)
            found.append(child);
    return found;
}

XmlElement XmlElement::elementForName(const QString& name) const
{
    if (m_node)
        for (xmlNode* child = m_node->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE && XmlElement(child).name() == name)
                return XmlElement(child);
    return {};
}

QString XmlElement::stringForElement(const QString& name) const
{
    const XmlElement element = elementForName(name);
    if (element.isNull())
        return {};
    const QString type = element.stringForAttribute(QStringLiteral("type"));
    QString result;
    if (type == QLatin1String("application/xhtml+xml") || type == QLatin1String("xhtml"))
        result = element.childrenMarkup().trimmed();
    else
        result = element.textContent().trimmed();
    if (type == QLatin1String("text"))
        result.replace(QLatin1Char('<'), QLatin1String("&lt;")).replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return nonEmpty(result);
}

QString XmlElement::stringForElement(const QString& name, const QString& otherName) const
{
    const QString first = stringForElement(name);
    return first.isEmpty() ? stringForElement(otherName) : first;
}

QString XmlElement::stringForAttribute(const QString& name) const
{
    if (!m_node)
        return {};
    for (xmlAttr* attribute = m_node->properties; attribute; attribute = attribute->next) {
        QString qualified = fromXml(attribute->name);
        if (attribute->ns && attribute->ns->prefix)
            qualified = fromXml(attribute->ns->prefix) + QLatin1Char(':') + qualified;
        if (qualified != name)
            continue;
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNode*>(attribute));
        const QString text = fromXml(value).trimmed();
        xmlFree(value);
        return nonEmpty(text);
    }
    return {};
}

QString XmlElement::textContent() const
{
    if (!m_node)
        return {};
    xmlChar* content = xmlNodeGetContent(m_node);
    const QString text = fromXml(content);
    xmlFree(content);
    return text;
}

QString XmlElement::childrenMarkup() const
{
    xmlBuffer* buffer = xmlBufferCreate();
    if (!buffer)
        return {};
    for (xmlNode* child = m_node->children; child; child = child->next)
        xmlNodeDump(buffer, m_node->doc, child, 0, 0);
    const QString markup = QString::fromUtf8(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                                             xmlBufferLength(buffer));
    xmlBufferFree(buffer);
    return markup;
}

}  // namespace ombrelay
