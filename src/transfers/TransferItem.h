#pragma once

#include "engine/core/EngineHost.h"
#include "uikit/PZOutlineObject.h"

#include <memory>
#include <vector>

namespace ombrelay {

class FileLine;
class OBLine;

// A row of the transfers list: a torrent at the top level, its folders and files below. Wraps the
// torrent model's lines for the outline view; the top item holds its torrent alive. Child items are
// made on first use and live as long as their parent.
class TransferItem : public PZOutlineObject
{
public:
    explicit TransferItem(TorrentLinePtr torrent);
    TransferItem(OBLine* line, TransferItem* parent);

    OBLine* line() const { return m_line; }
    TransferItem* parent() const { return m_parent; }
    // The torrent of the row: itself for a torrent row, the owning torrent for a file row.
    TorrentLine* torrent() const;
    TorrentLine* torrentLine() const;  // null for a file row
    FileLine* fileLine() const;        // null for a torrent row
    const TorrentLinePtr& torrentPtr() const;

    int outlineChildCount() const override;
    PZOutlineObject* outlineChild(int index) const override;
    QVariant outlineValue(const QString& key) const override;
    int compareForSort(const PZOutlineObject& other, const QString& key, const QString& comparison) const override;
    QString filterText() const override;
    bool isActive() const override;
    bool isComplete() const override;
    int checkboxState() const override;
    bool checkboxIsEnabled() const override;
    void setCheckboxState(int state) override;

private:
    void buildChildren() const;

    TorrentLinePtr m_torrent;  // the top item's only
    OBLine* m_line;
    TransferItem* m_parent = nullptr;
    mutable std::vector<std::unique_ptr<TransferItem>> m_children;
    mutable bool m_childrenBuilt = false;
};

}  // namespace ombrelay
