#include "engine/torrent/PathComponent.h"

namespace ombrelay {
namespace {

// The longest prefix of text whose UTF-8 fits in maxBytes, cut between characters.
QString prefixWithinBytes(const QString& text, int maxBytes)
{
    int bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() &&
                          text.at(end + 1).isLowSurrogate();
        const qsizetype units = pair ? 2 : 1;
        const int size = int(text.mid(end, units).toUtf8().size());
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        end += units;
    }
    return text.left(end);
}

}  // namespace

bool PathComponent::isPlain(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) &&
           name.toUtf8().size() <= kMaxBytes;
}

QString PathComponent::shortened(const QString& name)
{
    if (name.toUtf8().size() <= kMaxBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const int extensionBytes = int(extension.toUtf8().size());
    if (extension.isEmpty() || extensionBytes > 32)
        return prefixWithinBytes(name, kMaxBytes);
    return prefixWithinBytes(name.left(dot), kMaxBytes - extensionBytes) + extension;
}

QString PathComponent::join(const QString& folder, const QString& name)
{
    if (folder.isEmpty() || !isPlain(name))
        return {};
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

}  // namespace ombrelay
