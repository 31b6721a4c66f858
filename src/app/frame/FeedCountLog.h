#pragma once

#include <QHash>
#include <QPair>
#include <QString>
#include <cstdio>

namespace ombrelay {

class SelectionController;
class SourceItem;
class SourceView;

// One line on standard error each time the counts the sidebar draws beside a feed change
// ("Feed "<name>": 3 listed, 3 new"), the first look included. The application looks once a second;
// the journal and black-box tests follow feeds by it.
class FeedCountLog
{
public:
    explicit FeedCountLog(FILE* out = stderr) : m_out(out) {}

    // Feeds no longer in the list are forgotten.
    void update(const SourceView& sources, const SelectionController& selection);
    static QString lineFor(const QString& name, int listed, int fresh);

private:
    FILE* m_out;
    QHash<const SourceItem*, QPair<int, int>> m_counts;
};

}  // namespace ombrelay
