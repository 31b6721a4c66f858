#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ombrelay {

// A magnet link: the info hash from "xt" ("urn:btih:" with 40 hexadecimal digits or 32 base32
// characters; anything else gives no hash), the display name from "dn" and the trackers from "tr",
// percent-decoded. A later "urn:btih:" or "dn" replaces an earlier one; other keys are ignored.
class MagnetURL
{
public:
    explicit MagnetURL(const QString& address);

    QByteArray infoHash() const { return m_infoHash; }  // 20 bytes, or empty
    QString displayName() const { return m_displayName; }
    QStringList trackers() const { return m_trackers; }

    static QByteArray decodeBtih(const QString& text);  // 20 bytes, or empty

private:
    QByteArray m_infoHash;
    QString m_displayName;
    QStringList m_trackers;
};

}  // namespace ombrelay
