#include "app/frame/FeedCountLog.h"

#include "app/frame/SelectionController.h"
#include "app/frame/SourceItem.h"
#include "app/frame/SourceView.h"

namespace ombrelay {

QString FeedCountLog::lineFor(const QString& name, int listed, int fresh)
{
    return QStringLiteral("Feed \"%1\": %2 listed, %3 new").arg(name).arg(listed).arg(fresh);
}

void FeedCountLog::update(const SourceView& sources, const SelectionController& selection)
{
    QHash<const SourceItem*, QPair<int, int>> seen;
    for (const SourceItem* item : sources.allItems()) {
        if (!item->isRSS())
            continue;
        const QPair<int, int> counts{selection.numberOfItemsForItem(item), selection.numberOfNewItemsForItem(item)};
        seen.insert(item, counts);
        const auto previous = m_counts.constFind(item);
        if (previous == m_counts.constEnd() || *previous != counts)
            fprintf(m_out, "%s\n", qPrintable(lineFor(item->name(), counts.first, counts.second)));
    }
    fflush(m_out);
    m_counts = std::move(seen);
}

}  // namespace ombrelay
