#include "transfers/TransferItem.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

namespace ombrelay {

TransferItem::TransferItem(TorrentLinePtr torrent) : m_torrent(std::move(torrent)), m_line(m_torrent.get()) {}

TransferItem::TransferItem(OBLine* line, TransferItem* parent) : m_line(line), m_parent(parent) {}

const TorrentLinePtr& TransferItem::torrentPtr() const
{
    const TransferItem* top = this;
    while (top->m_parent)
        top = top->m_parent;
    return top->m_torrent;
}

TorrentLine* TransferItem::torrent() const { return torrentPtr().get(); }
TorrentLine* TransferItem::torrentLine() const { return m_parent ? nullptr : m_torrent.get(); }
FileLine* TransferItem::fileLine() const { return m_parent ? static_cast<FileLine*>(m_line) : nullptr; }

void TransferItem::buildChildren() const
{
    if (m_childrenBuilt)
        return;
    m_childrenBuilt = true;
    for (const auto& child : m_line->children())
        m_children.push_back(std::make_unique<TransferItem>(child.get(), const_cast<TransferItem*>(this)));
}

int TransferItem::outlineChildCount() const
{
    return int(m_line->children().size());
}

PZOutlineObject* TransferItem::outlineChild(int index) const
{
    buildChildren();
    return index >= 0 && index < int(m_children.size()) ? m_children[size_t(index)].get() : nullptr;
}

QVariant TransferItem::outlineValue(const QString& key) const
{
    if (key == QLatin1String("name"))
        return m_line->path();
    if (key == QLatin1String("length"))
        return QVariant::fromValue(m_line->length());
    if (key == QLatin1String("creationDate"))
        return torrentLine() ? QVariant(torrentLine()->creationDate()) : QVariant();
    return {};
}

int TransferItem::compareForSort(const PZOutlineObject& other, const QString& key, const QString& comparison) const
{
    const OBLine* otherLine = static_cast<const TransferItem&>(other).m_line;
    if (key == QLatin1String("transfer"))
        return m_line->compareTransferColumn(*otherLine);
    if (key == QLatin1String("progress"))
        return m_line->compareProgressColumn(*otherLine);
    if (key == QLatin1String("timeRemaining"))
        return m_line->compareTimeColumn(*otherLine);
    return PZOutlineObject::compareForSort(other, key, comparison);
}

QString TransferItem::filterText() const
{
    if (TorrentLine* line = torrentLine())
        return line->pathListString();
    return m_line->path();
}

bool TransferItem::isActive() const
{
    TorrentLine* line = torrentLine();
    return line && line->isActive();
}

bool TransferItem::isComplete() const
{
    return m_line->isComplete();
}

int TransferItem::checkboxState() const
{
    return fileLine() ? fileLine()->checkboxState() : -1;
}

bool TransferItem::checkboxIsEnabled() const
{
    return fileLine() && fileLine()->checkboxIsEnabled();
}

void TransferItem::setCheckboxState(int state)
{
    if (FileLine* file = fileLine())
        file->setCheckboxState(state);
}

}  // namespace ombrelay
