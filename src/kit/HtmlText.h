#pragma once

#include <QString>
#include <QStringView>

namespace ombrelay {

// The text of one entity, given the name between "&" and ";": a Latin-1 name ("nbsp" ... "yuml"),
// "lt", "gt", "amp", "quot", "apos", or "#" with a decimal or "#x" with a hexadecimal code point
// (leading digits only). A NUL, surrogate or out-of-range code point gives U+FFFD; any other name
// gives the empty text, so the entity disappears.
QString stringForHTMLEntity(QStringView name);

// Replaces every "&name;" by its entity text. An "&" followed by whitespace, by ";", by no ";" at all,
// or by something that cannot be an entity name ("Q&A: x;") stays as it is.
QString stringByRemovingHTMLEntities(QStringView text);

// Drops everything from "<" to ">" and puts one space where each tag ended; outside tags a double quote
// becomes "&quot;". Text without "<" is returned unchanged.
QString stringByRemovingHTMLTags(const QString& text);

// Escapes "&", "<", ">", "'" and the double quote for XML text and attributes.
QString xmlEscapedString(QString text);

} // namespace ombrelay
