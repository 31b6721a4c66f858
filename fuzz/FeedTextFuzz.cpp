// Feed and page text: dates, entities, tags, percent escapes and hexadecimal hashes.
#include "kit/FeedDateReader.h"
#include "kit/HtmlText.h"
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

    const QDateTime date = FeedDateReader::dateFromString(text);
    if (!date.isNull() && !date.isValid())
        std::abort();

    // Every entity is longer than the text it stands for.
    if (stringByRemovingHTMLEntities(text).size() > text.size())
        std::abort();
    if (stringByRemovingHTMLTags(text).contains(u'<'))
        std::abort();

    if (unescapedString(escapedString(text)) != text)
        std::abort();
    if (const auto bytes = dataFromHex(text); bytes && hexString(*bytes) != text.toLower())
        std::abort();
    return 0;
}
