// Feed documents: bytes to feed items, through the XML parser with HTML entity names.
#include "search/feeds/FeedDocument.h"

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
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
    const FeedDocument feed = FeedDocument::parse(bytes, QUrl(QStringLiteral("http://feeds.test/rss")), now);
    if (!feed.isValidFeed() && !feed.items().isEmpty())
        std::abort();
    if (feed.items().size() > FeedDocument::kMaxItems)
        std::abort();
    for (const QVariantMap& item : feed.items()) {
        // Every item is dated and has a title and a description, even empty ones.
        if (!item.value(QStringLiteral("date")).toDateTime().isValid() || !item.contains(QStringLiteral("title"))
            || !item.contains(QStringLiteral("description")))
            std::abort();
    }
    return 0;
}
