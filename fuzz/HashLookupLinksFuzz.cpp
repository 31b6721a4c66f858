// Hash-lookup answers: an HTML page parsed and walked for its links.
#include "kit/XmlDocument.h"
#include "search/HashScraper.h"

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

    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const XmlDocument document = XmlDocument::parse(bytes, XmlDocument::Syntax::Html, 1 << 20);
    const QStringList links = HashScraper::linksFromElement(document.rootElement(), QUrl(QStringLiteral("http://q.test/s")));
    for (const QString& link : links)
        if (!HashScraper::isValidAddress(link) || !QUrl(link).isValid())
            std::abort();
    return 0;
}
