#pragma once

#include <QByteArray>
#include <memory>

namespace ombrelay {

class Settings;
class SourceItem;

// The source list in the settings: a binary property list of the top-level array under
// "SourceListData". A stored list is untrusted: it is read within fixed bounds, and a value that cannot
// be read is kept aside in the data folder and logged before a save replaces it.
class SourceListStorage
{
public:
    static constexpr qint64 kMaxStoredBytes = 16 * 1024 * 1024;

    // A folder item holding the top level; empty when nothing readable is stored.
    static std::unique_ptr<SourceItem> load(Settings& settings);
    static void save(Settings& settings, const SourceItem& root);

    // The items of a stored value (the same bounds as load); null when it cannot be read at all.
    static std::unique_ptr<SourceItem> itemsFromData(const QByteArray& bytes);
    static QByteArray dataFromItems(const SourceItem& root);
    // Where an unreadable stored value is kept.
    static QString keptAsidePath();
};

}  // namespace ombrelay
