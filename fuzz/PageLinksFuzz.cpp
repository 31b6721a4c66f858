// Result pages: the torrent-link scan and the link rules on whatever a site sends.
#include "search/PageLinkScanner.h"
#include "search/TorrentLinkRules.h"

#include "kit/TextHelpers.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdlib>

using namespace ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;

    const QString text = stringWithData(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    const PageLinkScanner::Result result = PageLinkScanner::extractLinks(text, QUrl(QStringLiteral("http://page.test/a/b")), 20);
    if (result.links.size() > 20 || (result.truncated && result.links.size() != 20))
        std::abort();
    for (const QString& link : result.links)
        if (!link.startsWith(QLatin1String("http://")) && !link.startsWith(QLatin1String("https://")))
            std::abort();
    // The rules on the raw text as one address: never a crash, and an answer is an address.
    const QString rewritten = TorrentLinkRules::torrentAddressFromAddress(QStringLiteral("http://") + text);
    if (!rewritten.isNull() && rewritten.isEmpty())
        std::abort();
    return 0;
}
