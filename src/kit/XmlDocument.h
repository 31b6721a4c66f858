#pragma once

#include <QByteArray>
#include <QString>

#include "kit/XmlElement.h"

struct _xmlDoc;

namespace ombrelay {

// A parsed XML or HTML document from outside input. The parser never touches the network, loads no DTD and
// refuses documents that declare entities of their own, so neither external nor expanding entities get in.
class XmlDocument
{
public:
    enum class Syntax {
        Xml,   // well-formed XML only
        // Well-formed XML whose undeclared entity references may be HTML's names ("&nbsp;", "&eacute;"),
        // answered from the kit's entity table, as so many feeds need.
        XmlWithHtmlEntities,
        Html,  // forgiving HTML, as browsers read pages (the hash lookup)
    };

    // Parses at most maxBytes of data; larger input is refused without parsing.
    static XmlDocument parse(const QByteArray& data, Syntax syntax, qsizetype maxBytes);

    XmlDocument() = default;
    XmlDocument(XmlDocument&& other) noexcept;
    XmlDocument& operator=(XmlDocument&& other) noexcept;
    ~XmlDocument();

    bool isValid() const { return m_doc != nullptr; }
    QString errorString() const { return m_error; }
    XmlElement rootElement() const;

private:
    _xmlDoc* m_doc = nullptr;
    QString m_error;
};

}  // namespace ombrelay
