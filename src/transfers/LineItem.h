#pragma once

#include "engine/core/EngineHost.h"
#include "uikit/PZOutlineObject.h"

#include <memory>
#include <vector>

namespace ombrelay {

class FileLine;
class OBLine;

// A list row that wraps a torrent model line: a torrent at the top level, its folders and files below.
// The top item holds its torrent alive; child items are made on first use (by makeChild) and live as
// long as their parent. The transfers list and the result lists each derive their rows from it.
class LineItem : public PZOutlineObject
{
public:
    explicit LineItem(TorrentLinePtr torrent);
    LineItem(OBLine* line, LineItem* parent);

    OBLine* line() const { return m_line; }
    LineItem* parent() const { return m_parent; }
    // The torrent of the row: itself for a torrent row, the owning torrent for a file row.
    TorrentLine* torrent() const;
    TorrentLine* torrentLine() const;  // null for a file row
    FileLine* fileLine() const;        // null for a torrent row
    const TorrentLinePtr& torrentPtr() const;

    int outlineChildCount() const override;
    PZOutlineObject* outlineChild(int index) const override;
    QVariant outlineValue(const QString& key) const override;
    QString filterText() const override;
    bool isComplete() const override;
    int checkboxState() const override;
    bool checkboxIsEnabled() const override;
    void setCheckboxState(int state) override;

protected:
    virtual std::unique_ptr<LineItem> makeChild(OBLine* line) = 0;

private:
    void buildChildren() const;

    TorrentLinePtr m_torrent;  // the top item's only
    OBLine* m_line;
    LineItem* m_parent = nullptr;
    mutable std::vector<std::unique_ptr<LineItem>> m_children;
    mutable bool m_childrenBuilt = false;
};

}  // namespace ombrelay
