#pragma once

#include <QString>

namespace ombrelay {

// The addresses the program owns: "ombrelaysearch:" becomes a search, "magnet:" opens the open-by-address
// panel; every other address is ignored (and never read as a path).
class KoURLHandler
{
public:
    enum class Kind { Search, Magnet, Ignored };
    static constexpr int kMaxQueryLength = 1000;

    static Kind kindOf(const QString& address);
    // The search words of an "ombrelaysearch:" address (scheme removed, then cleansed); empty: no search.
    static QString searchQuery(const QString& address);
    // Leading and trailing "/" dropped, "+" read as a blank, then %XX decoded as UTF-8; then as
    // cleansedText.
    static QString cleansedURL(const QString& text);
    // Outside text made fit for a search (titles from a media player): controls read as blanks, runs of
    // blanks made one, trimmed, at most kMaxQueryLength characters.
    static QString cleansedText(const QString& text);
};

}  // namespace ombrelay
