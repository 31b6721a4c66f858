// Suggestion service replies: the list is bounded and holds only non-empty one-line texts.
#include "search/suggestions/SuggestionLoader.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdlib>

using namespace ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList results = SuggestionLoader::resultsFromData(reply);
    if (results.size() > SuggestionLoader::kMaxSuggestions)
        std::abort();
    for (const QString& text : results)
        if (text.isEmpty() || text.contains(u'\n') || SuggestionLoader::isBlocked(text))
            std::abort();
    return 0;
}
