#include "engine/torrent/MagnetURL.h"

#include "kit/TextHelpers.h"

namespace ombrelay {
namespace {

QByteArray fromBase32(const QString& text)
{
    QByteArray bytes;
    quint32 buffer = 0;
    int bits = 0;
    for (const QChar c : text) {
        const int value = c >= QLatin1Char('2') && c <= QLatin1Char('7') ? c.unicode() - '2' + 26
                          : c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('Z')
                              ? c.toUpper().unicode() - 'A'
                              : -1;
        if (value < 0)
            return {};
        buffer = (buffer << 5) | quint32(value);
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            bytes.append(char((buffer >> bits) & 0xFF));
        }
    }
    return bytes;
}

}  // namespace

QByteArray MagnetURL::decodeBtih(const QString& text)
{
    if (text.size() == 40)
        return dataFromHex(text).value_or(QByteArray());
    if (text.size() == 32)
        return fromBase32(text);
    return {};
}

MagnetURL::MagnetURL(const QString& address)
{
    const qsizetype question = address.indexOf(QLatin1Char('?'));
    if (question < 0)
        return;
    const QStringList parts = address.mid(question + 1).split(QLatin1Char('&'));
    for (const QString& part : parts) {
        // Split at the first "=": an unescaped "=" inside a tracker address stays in its value.
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = part.left(equals);
        const QString value = unescapedString(part.mid(equals + 1));
        if (key == QLatin1String("xt")) {
            // Other kinds of "xt" (a v2 hash) leave a BitTorrent v1 hash alone.
            static const QLatin1String prefix("urn:btih:");
            if (value.startsWith(prefix, Qt::CaseInsensitive))
                m_infoHash = decodeBtih(value.mid(prefix.size()));
        } else if (key == QLatin1String("dn")) {
            m_displayName = value;
        } else if (key == QLatin1String("tr")) {
            m_trackers.append(value);
        }
    }
}

}  // namespace ombrelay
