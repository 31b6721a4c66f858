#pragma once

#include <QList>
#include <QString>

struct _xmlNode;

namespace ombrelay {

// A read-only view of one element of an XmlDocument; valid while the document lives. Names are qualified
// names as written ("item", "dc:date", "rdf:RDF"). Texts that are missing or empty after trimming read as
// null strings.
class XmlElement
{
public:
    XmlElement() = default;
    explicit XmlElement(_xmlNode* node) : m_node(node) {}

    bool isNull() const { return m_node == nullptr; }
    QString name() const;

    QList<XmlElement> childElements() const;
    QList<XmlElement> elementsForName(const QString& name) const;
    // The first child element of that name, or a null element.
    XmlElement elementForName(const QString& name) const;

    // The trimmed text of the first child element of that name. Its "type" attribute decides: "xhtml" or
    // "application/xhtml+xml" give the markup of its children, "text" escapes "<" and ">" so that the text
    // stays text when shown as HTML.
    QString stringForElement(const QString& name) const;
    // The first name's string, else the second's.
    QString stringForElement(const QString& name, const QString& otherName) const;
    // The attribute's trimmed value.
    QString stringForAttribute(const QString& name) const;

    QString textContent() const;

private:
    QString childrenMarkup() const;

    _xmlNode* m_node = nullptr;
};

}  // namespace ombrelay
