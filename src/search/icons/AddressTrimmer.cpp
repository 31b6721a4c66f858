#include "search/icons/AddressTrimmer.h"

#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"

namespace ombrelay {

AddressTrimmer::AddressTrimmer(const QString& longAddress, QObject* parent)
    : PZHTTPLoader(parent)
{
    setMaxBodySize(kMaxAnswerBytes);
    if (longAddress.trimmed().isEmpty())
        failSoon(QUrl(), {HttpError::Kind::NoAddress, QStringLiteral("no address to shorten")});
    else
        loadURL(serviceAddress(longAddress));
}

QUrl AddressTrimmer::serviceAddress(const QString& longAddress)
{
    return QUrl::fromEncoded(QByteArray("http://") + service::kAddressShortenerHost + "/api.php?longurl="
                             + escapedString(longAddress).toLatin1());
}

void AddressTrimmer::handleCompletion()
{
    if (statusCode() < 200 || statusCode() > 299) {
        reportError({HttpError::Kind::UnreadableReply, QStringLiteral("status %1").arg(statusCode())});
        return;
    }
    m_trimmedAddress = stringWithData(data());
    emit trimmed(this);
}

}  // namespace ombrelay
